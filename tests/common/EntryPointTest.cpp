// The entry points as a host sees them: the library is opened directly so that its record can be looked
// at before the first GetType.
#include "common/ChannelType.h"
#include "host/Tav_Channel.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <cstring>
#include <new>
#include <string>

namespace {

std::atomic<bool> gFailNothrowNew{false};

} // namespace

// The runtime's nothrow allocation, replaced for the whole process so that a test can make it fail.
// Channel libraries resolve it to this definition, exactly as they share the real one.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (gFailNothrowNew.load())
        return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

const char* const kUsedGuid = "0000ABCD-0001-4000-8000-0000000000B1";
const char* const kFreshGuid = "0000ABCD-0002-4000-8000-0000000000B2";
const char* const kProbeBaseGuid = "0000ABCD-0000-4000-8000-0000000000BA";

class Library {
public:
    explicit Library(const char* guid)
    {
        const std::string path = std::string(VEX_TEST_PLUGIN_DIR) + "/" + guid + ".so";
        handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_)
            ADD_FAILURE() << "cannot open " << path << ": " << ::dlerror();
    }
    ~Library()
    {
        if (handle_)
            ::dlclose(handle_);
    }
    template <class Fn> Fn Get(const char* name) const
    {
        void* symbol = handle_ ? ::dlsym(handle_, name) : nullptr;
        if (!symbol)
            ADD_FAILURE() << "missing symbol " << name;
        return reinterpret_cast<Fn>(symbol);
    }

private:
    void* handle_ = nullptr;
};

using GetTypeFn = ChannelType* (*)();
using PeekFn = const ChannelType* (*)();
using InitDllFn = Tav_Channel* (*)();
using CountFn = int (*)();
using ProbeFn = bool (*)(Tav_Channel*);

class EntryPoints : public ::testing::Test {
protected:
    Library library{kUsedGuid};
    GetTypeFn getType = library.Get<GetTypeFn>("GetType");
    InitDllFn initDll = library.Get<InitDllFn>("InitDLL");
    CountFn constructed = library.Get<CountFn>("ProbeConstructed");
    CountFn destroyed = library.Get<CountFn>("ProbeDestroyed");
    ProbeFn intact = library.Get<ProbeFn>("ProbeIntact");
};

TEST(EntryPointRecord, IsInInitialStateBeforeFirstGetType)
{
    Library fresh(kFreshGuid);
    auto peek = fresh.Get<PeekFn>("VexPeekChannelType");
    auto getType = fresh.Get<GetTypeFn>("GetType");
    ASSERT_TRUE(peek && getType);
    const ChannelType* before = peek();
    EXPECT_EQ(before->number3, 1);
    EXPECT_EQ(before->typeGuid, GUID_NULL);
    EXPECT_EQ(before->baseTypeGuid, GUID_NULL);
    EXPECT_EQ(before->number1, 1);
    EXPECT_EQ(before->number2, 51);
    EXPECT_EQ(before->number4, 0);
    EXPECT_FALSE(before->flag);
    for (char c : before->name)
        EXPECT_EQ(c, 0);

    const ChannelType* after = getType();
    EXPECT_EQ(after, before) << "GetType returns the one static record";
    EXPECT_EQ(after->number3, 0);
    EXPECT_EQ(after->typeGuid, vex::GuidFromText(kFreshGuid));
}

TEST_F(EntryPoints, GetTypeTwiceReturnsSameAddressAndContents)
{
    ChannelType* first = getType();
    ASSERT_NE(first, nullptr);
    ChannelType firstCopy;
    std::memcpy(&firstCopy, first, sizeof firstCopy);
    // A host scribbling on the third number does not stick: GetType rewrites it.
    first->number3 = 77;
    ChannelType* second = getType();
    EXPECT_EQ(second, first);
    EXPECT_EQ(std::memcmp(&firstCopy, second, sizeof firstCopy), 0);

    EXPECT_STREQ(second->name, "Entry Probe");
    EXPECT_EQ(second->typeGuid, vex::GuidFromText(kUsedGuid));
    EXPECT_EQ(second->baseTypeGuid, vex::GuidFromText(kProbeBaseGuid));
    EXPECT_EQ(second->number1, 1);
    EXPECT_EQ(second->number2, 51);
    EXPECT_EQ(second->number3, 0);
    EXPECT_EQ(second->number4, 0);
    EXPECT_FALSE(second->flag);
    const size_t length = std::strlen(second->name);
    for (size_t i = length; i < sizeof second->name; ++i)
        EXPECT_EQ(second->name[i], 0) << "byte " << i << " behind the name";
}

TEST_F(EntryPoints, InitDllTwiceGivesIndependentInstances)
{
    const int before = constructed();
    Tav_Channel* a = initDll();
    Tav_Channel* b = initDll();
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b);
    EXPECT_EQ(constructed(), before + 2);
    EXPECT_STREQ(a->GetChannelName(), "Entry Probe");
    a->SetChannelInterfaceType(3);
    auto interfaceType = library.Get<int (*)(Tav_Channel*)>("ProbeInterfaceType");
    EXPECT_EQ(interfaceType(a), 3);
    EXPECT_EQ(interfaceType(b), 0) << "instances share no state";

    // Destroying one through the virtual destructor leaves the other whole and usable.
    const int destroyedBefore = destroyed();
    delete a;
    EXPECT_EQ(destroyed(), destroyedBefore + 1);
    EXPECT_TRUE(intact(b));
    EXPECT_STREQ(b->GetChannelName(), "Entry Probe");
    b->SetChannelInterfaceType(5);
    EXPECT_EQ(interfaceType(b), 5);
    delete b;
    EXPECT_EQ(destroyed(), destroyedBefore + 2);
}

TEST_F(EntryPoints, InitDllReturnsNullAndConstructsNothingWhenAllocationFails)
{
    const int before = constructed();
    gFailNothrowNew = true;
    Tav_Channel* channel = initDll();
    gFailNothrowNew = false;
    EXPECT_EQ(channel, nullptr);
    EXPECT_EQ(constructed(), before);
    // And works again once memory is there.
    channel = initDll();
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(constructed(), before + 1);
    delete channel;
}

TEST_F(EntryPoints, InitDllReturnsNullWhenTheConstructorThrows)
{
    auto throwInConstructor = library.Get<void (*)(bool)>("ProbeThrowInConstructor");
    const int before = constructed();
    throwInConstructor(true);
    Tav_Channel* channel = initDll();
    throwInConstructor(false);
    EXPECT_EQ(channel, nullptr) << "no exception crosses the C entry point";
    EXPECT_EQ(constructed(), before);
}

} // namespace
