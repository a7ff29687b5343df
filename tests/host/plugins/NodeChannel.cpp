#include "tests/host/plugins/TestChannels.h"

#include "common/PluginEntry.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"

#include <string>
#include <vector>

namespace {

class NodeChannel final : public vextest::TestNode {
public:
    NodeChannel()
    {
        SetChannelName("Test Node");
        SetChildCreationCount(1);
        SetChildCreateType(vex::MakeChildCreation("Test Leaf", vex::GuidFromText(vextest::kLeafGuid), 0, "Leaf"),
                           vextest::kNodeLeafLink);
        SetChildCreateType(vex::MakeChildCreation("Test Node", vex::GuidFromText(vextest::kNodeGuid), -1, "Nodes"),
                           vextest::kNodeNodesLink);
        SetChildCreateType(
            vex::MakeChildCreation("Leaf Base", vex::GuidFromText(vextest::kLeafBaseGuid), -1, "Leaf base"),
            vextest::kNodeBaseLink);
    }

    void CallChannel() override
    {
        if (!CheckRenderCount())
            return;
        ++runs_;
        calledThisFrame_ = true;
        if (number_ == vextest::kNodeThrowNumber)
            throw 42;
    }

    void DoEvent(int event, unsigned long value) override
    {
        if (event != kTavEventFrameEnd)
            return;
        calledBeforeEnd_ = calledThisFrame_;
        calledThisFrame_ = false;
        lastFrameEnd_ = value;
    }

    bool SaveChannel(TavFileSaver& saver) override
    {
        if (!Tav_Channel::SaveChannel(saver) || number_ == vextest::kNodeRefuseSaveNumber)
            return false;
        saver.SaveTag(vextest::kNodeNumberTag);
        saver.SaveBlockSize(4);
        const uint8_t bytes[4] = {static_cast<uint8_t>(number_), static_cast<uint8_t>(number_ >> 8),
                                  static_cast<uint8_t>(number_ >> 16), static_cast<uint8_t>(number_ >> 24)};
        saver.SaveDataToFile(bytes, 4);
        for (const std::string& text : texts_) {
            saver.SaveTag(vextest::kNodeTextTag);
            saver.SaveBlockSize(static_cast<int>(text.size()));
            saver.SaveDataToFile(text.data(), static_cast<int>(text.size()));
        }
        return true;
    }

    bool LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group) override
    {
        if (!Tav_Channel::LoadChannel(loader, group))
            return false;
        if (loader.GetInfoIfTag(vextest::kNodeFailTag))
            return false;
        if (loader.GetInfoIfTag(vextest::kNodeThrowTag))
            throw 42;
        if (loader.GetInfoIfTag(vextest::kNodeNumberTag)) {
            uint8_t bytes[4] = {};
            if (loader.CopyTagDataToPointer(bytes, 4) == 4)
                number_ = static_cast<int32_t>(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                                               uint32_t(bytes[3]) << 24);
        }
        texts_.clear();
        while (loader.GetInfoIfTag(vextest::kNodeTextTag)) {
            std::string text(static_cast<size_t>(loader.GetTagDataSize()), '\0');
            loader.CopyTagDataToPointer(text.data(), static_cast<int>(text.size()));
            texts_.push_back(text);
        }
        return true;
    }

    void DoDependencyInit(Tav_List* list) override
    {
        AddChannelGuidDepend(vex::GuidFromText(vextest::kNeededGuid), list);
    }

    int32_t GetNumber() override { return number_; }
    void SetNumber(int32_t number) override { number_ = number; }
    int GetTextCount() override { return static_cast<int>(texts_.size()); }
    const char* GetText(int index) override { return texts_.at(static_cast<size_t>(index)).c_str(); }
    void AddText(const char* text) override { texts_.emplace_back(text); }
    int GetRunCount() override { return runs_; }
    unsigned long GetLastFrameEnd() override { return lastFrameEnd_; }
    bool GetCalledBeforeFrameEnd() override { return calledBeforeEnd_; }

private:
    int32_t number_ = 0;
    std::vector<std::string> texts_;
    int runs_ = 0;
    unsigned long lastFrameEnd_ = 0;
    bool calledThisFrame_ = false;
    bool calledBeforeEnd_ = false;
};

} // namespace

VEX_CHANNEL_PLUGIN(NodeChannel, "Test Node", vextest::kNodeGuid, vextest::kNodeGuid)
