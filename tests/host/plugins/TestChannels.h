#pragma once
// Small channel types that the host tests load as plug-ins: a node with declared links and saved data, a
// leaf that derives from a base type, a type the node depends on, and libraries with broken entry points.

#include "host/Tav_Channel.h"

#include <cstdint>

namespace vextest {

inline constexpr const char* kNodeGuid = "A1B2C3D4-0001-4000-8000-00000000A001";
inline constexpr const char* kLeafGuid = "A1B2C3D4-0002-4000-8000-00000000A002";
/// The leaf's base type: links and lookups by this GUID find leaves too.
inline constexpr const char* kLeafBaseGuid = "A1B2C3D4-0003-4000-8000-00000000A003";
inline constexpr const char* kNeededGuid = "A1B2C3D4-0004-4000-8000-00000000A004";
inline constexpr const char* kNoGetTypeGuid = "A1B2C3D4-0005-4000-8000-00000000A005";
inline constexpr const char* kNoInitDllGuid = "A1B2C3D4-0006-4000-8000-00000000A006";
inline constexpr const char* kNullInitDllGuid = "A1B2C3D4-0007-4000-8000-00000000A007";
/// A library whose record names another type than its file name.
inline constexpr const char* kWrongRecordGuid = "A1B2C3D4-0008-4000-8000-00000000A008";
/// No library has this name.
inline constexpr const char* kMissingGuid = "A1B2C3D4-00FF-4000-8000-00000000A0FF";

/// Node links, in declaration order.
enum NodeLink : int {
    kNodeLeafLink = 0,  ///< "Leaf": one leaf
    kNodeNodesLink = 1, ///< "Nodes": any number of nodes
    kNodeBaseLink = 2,  ///< "Leaf base": anything of the leaf base type
};

/// Chunk tags of the node's section.
inline constexpr const char* kNodeNumberTag = "TNNM"; ///< int32 number
inline constexpr const char* kNodeTextTag = "TNTX";   ///< text, repeated in order
inline constexpr const char* kNodeFailTag = "TNFL";   ///< makes LoadChannel fail
/// Makes LoadChannel throw something that is no std::exception.
inline constexpr const char* kNodeThrowTag = "TNTH";
/// A node holding this number throws (no std::exception) from CallChannel.
inline constexpr int32_t kNodeThrowNumber = INT32_MIN + 1;
/// A node holding this number refuses to save.
inline constexpr int32_t kNodeRefuseSaveNumber = INT32_MIN;

/// What the tests call on a node; its slots follow the twelve Tav_Channel ones.
class TestNode : public Tav_Channel {
public:
    virtual int32_t GetNumber() = 0;
    virtual void SetNumber(int32_t number) = 0;
    virtual int GetTextCount() = 0;
    virtual const char* GetText(int index) = 0;
    virtual void AddText(const char* text) = 0;
    /// How many times CallChannel found CheckRenderCount true.
    virtual int GetRunCount() = 0;
    /// The frame number passed by the last DoEvent(kTavEventFrameEnd).
    virtual unsigned long GetLastFrameEnd() = 0;
    /// Whether CallChannel came before DoEvent in the last frame.
    virtual bool GetCalledBeforeFrameEnd() = 0;
};

} // namespace vextest
