#pragma once

#include <gtest/gtest.h>

#include <QListWidget>
#include <QPlainTextEdit>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/gui/Unit1.h"
#include "app/gui/Unit1Ui.h"
#include "rtl/GbText.h"
#include "tests/app/gui/PageServer.h"
#include "tests/support/FakeDesktopServices.h"
#include "tests/support/TestSupport.h"

namespace testsupport {

// The fake desktop, with a look at the window at the moment each box is shown.
class WatchingDesktop : public FakeDesktopServices {
public:
    std::function<void()> OnMessageBox;
    Answer MessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                      Buttons buttons, Icon icon, DefaultButton defaultButton) override {
        if (OnMessageBox)
            OnMessageBox();
        return FakeDesktopServices::MessageBox(owner, text, caption, buttons, icon, defaultButton);
    }
};

// A main window in its own folder (settings, prompt file), watching pages of a
// local server; message boxes and sounds go to the fake desktop.
class WatchCycleFixture : public testing::Test {
protected:
    struct Site {
        std::string Name;
        std::string Url;
        int Selected = 1;
    };
    struct Target {
        std::string Name;
        int Selected = 1;
    };

    static constexpr const char* DefaultPrompts = "# prompts\r\n one\r\n two\r\n three\r\n";

    void WritePrompts(const std::string& content) {
        WriteFile(Folder.File("Message.ini"), content);
    }

    // Writes the settings file and opens the window on it. The interval is long,
    // so no tick of its own interferes: the tests run the cycles themselves.
    void Open(const std::vector<Site>& sites, const std::vector<Target>& targets,
              bool sound = true) {
        std::string ini = "[TargetObj]\r\n";
        for (size_t i = 0; i < targets.size(); ++i)
            ini += "Name" + std::to_string(i) + "=" + targets[i].Name + "\r\nName" +
                   std::to_string(i) + "ch=" + std::to_string(targets[i].Selected) + "\r\n";
        ini += "[TargetSite]\r\n";
        for (size_t i = 0; i < sites.size(); ++i) {
            const std::string n = std::to_string(i);
            ini += "Site" + n + "=" + sites[i].Name + "\r\nSite" + n + "Url=" + sites[i].Url +
                   "\r\nSite" + n + "ch=" + std::to_string(sites[i].Selected) + "\r\n";
        }
        ini += std::string("[Setting]\r\nSecond=60\r\nAutoUp=1\r\nSound=") + (sound ? "1" : "0") +
               "\r\n";
        WriteFile(Folder.File("perchly.ini"), ini);
        Form = std::make_unique<app::TForm1>(State, Desktop, Folder.Path());
    }

    // What the test panel shows: opened the way the user opens it (and closed
    // again when it was closed), since a hidden panel is filled only then.
    std::string Memo() const {
        const bool hidden = Form->ui->Memo1->isHidden();
        if (hidden)
            Form->T1Click();
        const std::string text = rtl::ToGb(Form->ui->Memo1->toPlainText());
        if (hidden)
            Form->T1Click();
        return text;
    }
    std::string Status() const { return Form->StatusText(1); }
    bool RowSelected(int row) const { return Form->ui->ListBox2->item(row)->isSelected(); }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : Desktop.MessageBoxes)
            texts.push_back(box.Text);
        return texts;
    }

    static std::string Gb(const char* utf8) { return rtl::Gb(utf8); }
    static std::string FailureText(const std::string& room) {
        return rtl::Gb("连接失败或出错在:") + room;
    }
    static std::string FetchingText(const std::string& room) {
        return rtl::Gb("正在连接:") + room + "...";
    }
    static std::string FetchedText(const std::string& room) { return rtl::Gb("已检查:") + room; }

    TempFolder Folder;
    PageServer Server;
    WatchingDesktop Desktop;
    ErrorRecorder Errors;
    app::WatchState State;
    std::unique_ptr<app::TForm1> Form;
};

}  // namespace testsupport
