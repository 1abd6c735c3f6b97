// The file dialogs of the preset manager: the desktop's (a stand-in
// "zenity" on PATH that records its arguments and answers with a file) and
// our own window, driven windowless.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "Platform/FileDialog.h"
#include "Tests/UI/PresetsFixture.h"
#include "UI/Presets/FileDialog.h"
#include "UI/Presets/FileDialogPanel.h"
#include "UI/Presets/ItemList.h"
#include "UI/Presets/TextField.h"

namespace uitest {
namespace {

// Puts a folder first on PATH for the life of the object.
class PathFirst {
public:
    explicit PathFirst(const std::string& dir) {
        const char* p = std::getenv("PATH");
        m_old = p ? p : "";
        setenv("PATH", (dir + ":" + m_old).c_str(), 1);
    }
    ~PathFirst() { setenv("PATH", m_old.c_str(), 1); }

private:
    std::string m_old;
};

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class UiFileDialog : public UiPresets {
protected:
    // A stand-in dialog program: writes its arguments one per line to
    // "args" and prints `answer`.
    void stub(const std::string& answer) {
        std::filesystem::create_directories(m_dir / "bin");
        const std::string script = (m_dir / "bin" / "zenity").string();
        std::ofstream out(script);
        out << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << file("args") << "'\n"
            << "printf '%s\\n' '" << answer << "'\n";
        out.close();
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    }
    // Polls the dialog as its timer would, until it is done.
    void waitDialog() {
        CFileDialog* d = m_manager->fileDialog();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (d->isOpen() && std::chrono::steady_clock::now() < end) {
            ASSERT_FALSE(d->poll());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_FALSE(d->isOpen());
        pumpUi();
    }
};

TEST_F(UiFileDialog, TheDesktopDialogRunsAsAChildAndItsAnswerArrives) {
    perturbCapturedValues(0.35);
    const auto saved = capturedValues();
    ASSERT_FALSE(m_manager->setAttr("defpath-preset", CString(m_dir.string()), false));
    stub(file("chosen.cpf"));
    PathFirst path((m_dir / "bin").string());

    // Save: the proposed name in the start folder, the type's filter.
    ASSERT_FALSE(manager("preset-save"));
    waitDialog();
    EXPECT_EQ(m_manager->fileDialog()->lastBackend().utf8(), "zenity");
    const std::string args = readText(file("args"));
    EXPECT_NE(args.find("--file-selection\n"), std::string::npos) << args;
    EXPECT_NE(args.find("--save\n"), std::string::npos) << args;
    EXPECT_NE(args.find("--title=Save preset\n"), std::string::npos) << args;
    EXPECT_NE(args.find("--filename=" + m_dir.string() + "/Tamblor_"), std::string::npos) << args;
    EXPECT_NE(args.find("--file-filter=Compressed preset files (*.cpf) | *.cpf\n"), std::string::npos) << args;
    ASSERT_TRUE(std::filesystem::exists(file("chosen.cpf")));

    // Load it back in another state: the open dialog, no --save.
    ASSERT_TRUE(master().activateDefaultPreset().ok());
    perturbCapturedValues(0.75);
    ASSERT_NE(capturedValues(), saved);
    ASSERT_FALSE(manager("preset-load"));
    waitDialog();
    EXPECT_EQ(readText(file("args")).find("--save"), std::string::npos);
    EXPECT_EQ(capturedValues(), saved);

    // Banks: the bank filter.
    ASSERT_FALSE(manager("bank-load"));
    waitDialog();
    EXPECT_NE(readText(file("args")).find("--file-filter=Compressed bank files (*.cbf) | *.cbf\n"),
              std::string::npos);
    EXPECT_EQ(m_manager->attr("last-error-event").utf8(), "error-bank-load") << "a preset file is no bank";
}

TEST_F(UiFileDialog, OurOwnDialogListsTheFolderAndGivesTheTypedName) {
    ASSERT_FALSE(m_manager->fileDialog()->setAttr("use-system-dialog", "false", false));
    ASSERT_FALSE(m_manager->setAttr("defpath-preset", CString(m_dir.string()), false));
    std::filesystem::create_directories(m_dir / "sub");
    std::ofstream(file("notes.txt")) << "not a preset";
    ASSERT_FALSE(manager("perform-preset-save", at("a.cpf")));
    pumpUi();

    ASSERT_FALSE(manager("preset-save"));
    CFileDialogPanel* panel = m_manager->fileDialog()->panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(m_manager->fileDialog()->backend().utf8(), "own");
    EXPECT_EQ(panel->folder().utf8(), m_dir.string());
    EXPECT_EQ(panel->fileList()->rows(), std::vector<CString>{"a.cpf"}) << "only files of the type";
    EXPECT_EQ(panel->folderList()->rows(), (std::vector<CString>{"..", "sub"}));
    EXPECT_TRUE(panel->nameField()->value().startsWith("Tamblor_"));

    // Into "sub" and back.
    CEventParams dbl{{"index", "1"}};
    ASSERT_FALSE(panel->runEvent("on-folder-open", dbl));
    EXPECT_EQ(panel->folder().utf8(), (m_dir / "sub").string());
    EXPECT_TRUE(panel->fileList()->rows().empty());
    CEventParams up{{"index", "0"}};
    ASSERT_FALSE(panel->runEvent("on-folder-open", up));
    EXPECT_EQ(panel->folder().utf8(), m_dir.string());

    // Type a name (a slash is refused) and press OK: "mine.cpf" in the folder.
    ASSERT_FALSE(panel->nameField()->setValue(""));
    for (const char* c : {"m", "i", "/", "n", "e"}) ASSERT_FALSE(input(panel->nameField(), "key-press", {{"char", c}}));
    ASSERT_FALSE(input(panel->nameField(), "key-press", {{"key", "BackSpace"}}));
    ASSERT_FALSE(input(panel->nameField(), "key-press", {{"char", "e"}}));
    EXPECT_EQ(panel->nameField()->value().utf8(), "mine");
    auto* ok = dynamic_cast<CView*>(panel->findObject(".buttons.ok"));
    ASSERT_NE(ok, nullptr);
    ASSERT_FALSE(input(ok, "mouse-release", {}));
    EXPECT_FALSE(m_manager->fileDialog()->isOpen());
    pumpUi();
    EXPECT_TRUE(std::filesystem::exists(file("mine.cpf")));
    ASSERT_FALSE(m_manager->fileDialog()->poll());
    EXPECT_EQ(uiObject("ui.popup-file-dialog"), nullptr) << "the window is gone after the next poll";

    // Cancel delivers nothing.
    ASSERT_FALSE(manager("preset-load"));
    ASSERT_NE(m_manager->fileDialog()->panel(), nullptr);
    ASSERT_FALSE(m_manager->setAttr("last-error-event", "", false));
    ASSERT_FALSE(m_manager->fileDialog()->panel()->cancel());
    EXPECT_FALSE(m_manager->fileDialog()->isOpen());
    EXPECT_TRUE(m_manager->attr("last-error-event").empty());

    // A dialog still open when the editor closes goes with it (its window
    // under "ui" is destroyed before the manager).
    ASSERT_FALSE(manager("bank-load"));
    ASSERT_NE(m_manager->fileDialog()->panel(), nullptr);
    m_ui.reset();
}

TEST_F(UiFileDialog, ResultsAndRequestsFollowTheirRules) {
    const CEventParams p = CFileDialog::resultParams({"/data/presets/mine", "/data/presets/two.CPF"}, "cpf");
    EXPECT_EQ(p.get("filecount").utf8(), "2");
    EXPECT_EQ(p.get("filename").utf8(), "mine.cpf") << "the type's extension is added";
    EXPECT_EQ(p.get("extension").utf8(), "cpf");
    EXPECT_EQ(p.get("path").utf8(), "/data/presets");
    EXPECT_EQ(p.get("filename1").utf8(), "mine.cpf");
    EXPECT_EQ(p.get("filename2").utf8(), "two.CPF");
    EXPECT_EQ(p.get("extension2").utf8(), "CPF");

    CEventParams bad{{"mode", "print"}, {"target", "ui.main-window.window-renderer.root"}};
    CError e = m_manager->fileDialog()->runEvent("show-dialog", bad);
    EXPECT_EQ(e.message().utf8(), "Invalid file dialog mode.");
    EXPECT_FALSE(m_manager->fileDialog()->isOpen());
    EXPECT_EQ(plat::fileDialogFilterText({"Compressed bank files", "cbf"}), "Compressed bank files (*.cbf)");
}

}  // namespace
}  // namespace uitest
