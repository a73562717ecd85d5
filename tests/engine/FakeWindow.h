#pragma once

#include "engine/Messages.h"
#include "engine/RunWindow.h"

#include <string>
#include <vector>

// Records what the run and the walk do to the window.
struct FakeWindow : engine::RunWindow {
    std::u16string boxes[3];
    int check1 = 1;
    int check2 = 0;
    bool fileSystemFails = false;

    std::vector<std::u16string> captions;
    int beeps = 0;
    int eventRounds = 0;
    bool controlsEnabled = true;
    bool labelEnabled = true;
    bool focusInText1 = false;
    int lockCount = 0;
    // Controls' state seen whenever the window was let to repaint during a run.
    std::vector<bool> controlsDuringRun;

    std::u16string BoxText(engine::PathBox box) const override
    {
        return boxes[static_cast<int>(box)];
    }
    void SetBoxText(engine::PathBox box, const std::u16string& text) override
    {
        boxes[static_cast<int>(box)] = text;
    }
    engine::CheckState SubfoldersOption() const override { return State(check1); }
    engine::CheckState InsertMarkOption() const override { return State(check2); }
    // The check boxes as the window's values: 0 clear, 1 ticked, 2 greyed.
    static engine::CheckState State(int value)
    {
        return value == 1 ? engine::CheckState::Ticked
            : value == 2  ? engine::CheckState::Greyed
                          : engine::CheckState::Clear;
    }
    void SetStatusText(const std::u16string& text) override { captions.push_back(text); }
    void ShowReplacing(const platform::NativePath& name) override
    {
        SetStatusText(engine::messages::Replacing + name.Text());
    }
    void ProcessPendingEvents() override
    {
        ++eventRounds;
        controlsDuringRun.push_back(controlsEnabled || !labelEnabled);
    }
    void SetControlsEnabled(bool enabled) override
    {
        controlsEnabled = enabled;
        labelEnabled = enabled;
        if (enabled) {
            focusInText1 = true;
        } else {
            ++lockCount;
            focusInText1 = false;
        }
    }
    void EnableStatusLabel() override { labelEnabled = true; }
    void Beep() override { ++beeps; }
    std::unique_ptr<platform::FileSystemObject> CreateFileSystemObject() override
    {
        return fileSystemFails ? nullptr : platform::CreateFileSystemObject();
    }
    std::u16string LastCaption() const
    {
        return captions.empty() ? std::u16string() : captions.back();
    }
};
