#pragma once
// The channel type record and the child-link declaration that libraries hand to the host. The host reads
// them field by field, so field order and widths are fixed (checked below for this ABI).

#include "platform/Guid.h"

#include <cstddef>
#include <cstdint>

/// What a channel library is: its type name, its GUID and the GUID of the type it derives from.
struct ChannelType {
    char name[80];      ///< NUL-terminated type name
    _GUID typeGuid;     ///< this type
    _GUID baseTypeGuid; ///< the type the class derives from
    int32_t number1;    ///< host's meaning; 1
    int32_t number2;    ///< host's meaning; 51
    int32_t number3;    ///< host's meaning; 1 in a fresh record, 0 once GetType has run
    int32_t number4;    ///< host's meaning; 0
    bool flag;          ///< host's meaning; false
};

/// One child link: the type it takes and how the host shows it.
struct ChildCreation {
    ChannelType childType; ///< child type name and GUID; base GUID 11111111-...; numbers 1, 51, 1, 0
    int32_t linkNumber;    ///< per-link number (0, 1, or -1 for "any number")
    bool flag1;
    bool flag2;
    char linkName[102]; ///< NUL-terminated link name
    _GUID linkGuid;     ///< all zero
    int32_t number1;    ///< 0
    int32_t number2;    ///< 1
};

static_assert(offsetof(ChannelType, name) == 0);
static_assert(offsetof(ChannelType, typeGuid) == 80);
static_assert(offsetof(ChannelType, baseTypeGuid) == 96);
static_assert(offsetof(ChannelType, number1) == 112);
static_assert(offsetof(ChannelType, number2) == 116);
static_assert(offsetof(ChannelType, number3) == 120);
static_assert(offsetof(ChannelType, number4) == 124);
static_assert(offsetof(ChannelType, flag) == 128);
static_assert(sizeof(ChannelType) == 132);
static_assert(offsetof(ChildCreation, linkNumber) == 132);
static_assert(offsetof(ChildCreation, flag1) == 136);
static_assert(offsetof(ChildCreation, flag2) == 137);
static_assert(offsetof(ChildCreation, linkName) == 138);
static_assert(offsetof(ChildCreation, linkGuid) == 240);
static_assert(offsetof(ChildCreation, number1) == 256);
static_assert(offsetof(ChildCreation, number2) == 260);
static_assert(sizeof(ChildCreation) == 264);

namespace vex {

/// The child-link record both libraries write: the child's name and GUID, base GUID 11111111-...,
/// numbers 1, 51, 1, 0, flags false, the link's number and name, GUID_NULL, 0 and 1.
ChildCreation MakeChildCreation(const char* childTypeName, const _GUID& childType, int32_t linkNumber,
                                const char* linkName);

} // namespace vex
