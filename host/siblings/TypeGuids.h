#pragma once
// Channel type GUIDs of the libraries and the sibling channel types they call.

#include "platform/Guid.h"

namespace vex::guids {

inline constexpr const char* kBody = "7D21A5E0-4C93-4F1A-B8E2-3A6C0F95D417";
inline constexpr const char* kTextureLighting = "C4E8B1F2-93A7-4D05-8E61-B2F74A0C9D38";

inline constexpr const char* kMatrix = "5B90E3C1-2A4F-4E88-9D17-60C3A8F2B5E4";
inline constexpr const char* kValue = "DA340490-3267-4AEF-8F90-E7994576857E";
inline constexpr const char* kDampingFactor = "7C5F10E7-F2FA-4B85-A352-62150B455CEC";
inline constexpr const char* kWorld = "D37FB8C9-7715-4145-A389-3CCDCBF4EB41";
inline constexpr const char* kTexture = "3F6D92B8-C015-4A7E-9B3C-4E81F0A6D2C9";
inline constexpr const char* kDeviceUse = "E1A7C530-6F2B-4B9D-A043-D85E19C76F02";
inline constexpr const char* kCollisionObject = "00DEB43B-2A34-4583-B858-FD7A03163A9D";
inline constexpr const char* kObject3D = "A90DE420-C12D-415F-8930-D5C47D99C2AE";
inline constexpr const char* kSurface = "778C4DB9-5B05-472A-819A-EB1C823E04E6";
inline constexpr const char* kOctTree = "7243F145-304B-4D44-ACDB-40B375891F86";
inline constexpr const char* kLight = "B7713164-D3B7-4ACF-8361-DC38AE285324";
inline constexpr const char* kProgress = "40DD8E78-454D-4DCA-A124-3A2EE9D8C742";
inline constexpr const char* kInput = "1BA79492-2B17-45FE-92BB-0F74D532C231";
inline constexpr const char* k3DRender = "CFEC9B15-9A98-4268-8788-EA6F93F454CE";
/// Base GUID that child-link records carry.
inline constexpr const char* kLinkBase = "11111111-1111-1111-1111-111111111111";

// Our own choices for sibling types whose GUIDs the libraries never name.
inline constexpr const char* kMesh = "3C9A6E21-58D4-4F0B-A7E3-91B2C4D5E6F7";
inline constexpr const char* kDevice = "8E4B2D17-C3A5-4E69-B0F1-2D7C8A9E5B34";

} // namespace vex::guids

namespace vex {
/// The GUID for one of the texts above.
inline _GUID Guid(const char* text) { return GuidFromText(text); }
} // namespace vex
