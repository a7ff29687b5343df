#include "common/ChannelType.h"

#include <cstring>

namespace vex {

namespace {
// Copies at most size - 1 bytes and zero-fills the rest, so the field is always terminated.
void CopyName(char* field, size_t size, const char* text)
{
    std::memset(field, 0, size);
    if (text)
        std::strncpy(field, text, size - 1);
}
} // namespace

ChildCreation MakeChildCreation(const char* childTypeName, const _GUID& childType, int32_t linkNumber,
                                const char* linkName)
{
    ChildCreation c{};
    CopyName(c.childType.name, sizeof c.childType.name, childTypeName);
    c.childType.typeGuid = childType;
    c.childType.baseTypeGuid = GuidFromText("11111111-1111-1111-1111-111111111111");
    c.childType.number1 = 1;
    c.childType.number2 = 51;
    c.childType.number3 = 1;
    c.childType.number4 = 0;
    c.childType.flag = false;
    c.linkNumber = linkNumber;
    c.flag1 = false;
    c.flag2 = false;
    CopyName(c.linkName, sizeof c.linkName, linkName);
    c.linkGuid = GUID_NULL;
    c.number1 = 0;
    c.number2 = 1;
    return c;
}

} // namespace vex
