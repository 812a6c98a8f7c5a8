// Banner, document picker, alerts and parameters by address.
#include "PanelRig.h"
#include "SteppedClockTest.h"

#ifdef SORVANE_DIALOGS_ON_SCREEN
#include <gtk/gtk.h>
#endif

#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>

namespace {

class Dialogs : public SteppedClockTest {
protected:
    void SetUp() override {
        SteppedClockTest::SetUp();
        ::setenv("XDG_DOCUMENTS_DIR", documents.path().c_str(), 1);
        rig.open();
    }
    void TearDown() override {
        ::unsetenv("XDG_DOCUMENTS_DIR");
        SteppedClockTest::TearDown();
    }
    template <class T>
    std::shared_ptr<T> presented() {
        return std::dynamic_pointer_cast<T>(rig.vc->presentedViewController());
    }
    ScratchFolder documents;
    PanelRig rig;
};

} // namespace

TEST_F(Dialogs, ANewBannerRunsBesideTheMovingOneAndEachEndsInItsOwnFadeOut) {
    rig.vc->showInfo("first");
    tick(0.009, 100);
    rig.vc->showInfo("second");
    EXPECT_EQ(Animator::classCount(), 2);
    // The first fade-in ends at tick 321 and its fade-out at 442, which hides the banner and empties
    // it while the second one's fade-out (from tick 421 to 542) is still moving.
    tick(0.009, 350);
    EXPECT_EQ(Animator::classCount(), 1);
    EXPECT_TRUE(rig.vc->infoView->isHidden());
    EXPECT_EQ(rig.vc->infoMessage->text(), "");
    const double alpha = rig.vc->infoView->alpha();
    tick(0.009, 20);
    EXPECT_LT(rig.vc->infoView->alpha(), alpha); // still fading
    tick(0.009, 100);
    EXPECT_EQ(Animator::classCount(), 0);
    EXPECT_TRUE(rig.vc->infoView->isHidden());
    EXPECT_EQ(rig.vc->infoMessage->text(), "");
}

TEST_F(Dialogs, FileNameAlertRefusesNamesOutsideItsFolderAndAsksAgainForExistingOnes) {
    writeText(documents.path() / "taken.plist", "x");
    const std::pair<std::string, bool> cases[] = {{"../escape", false},  {"a/b", false},
                                                  {"..", false},         {"new.plist", false},
                                                  {"taken.plist", true}, {"x/\x1b[2J\nFORGED", false}};
    for (const auto& [name, asksAgain] : cases) {
        CapturedConsole console;
        rig.vc->alertFileName("save", "default.plist");
        auto alert = presented<plat::UIAlertController>();
        ASSERT_TRUE(alert);
        alert->textFields().front()->text = name;
        alert->performAction(0);
        const bool refused = name.find('/') != std::string::npos || name == "..";
        EXPECT_EQ(console.count("is not allowed."), refused ? 1u : 0u) << name;
        EXPECT_EQ(console.printed().find('\x1b'), std::string::npos) << "a refused name printed raw";
        auto again = presented<plat::UIAlertController>();
        EXPECT_EQ(bool(again), asksAgain) << name;
        if (again) {
            EXPECT_EQ(again->message(), "The file already exists. Please type in another file name: ");
            EXPECT_EQ(again->textFields().front()->text, name);
            again->performAction(1);
            EXPECT_EQ(console.count("Save action was canceled.\n"), 1u);
        }
    }
}

TEST(ParameterAccess, ByAddressBeforeAndAfterTheConnection) {
    PanelRig rig;
    rig.loadView();
    CapturedConsole console;
    EXPECT_EQ(rig.vc->getParameter(1005), 0.0f);
    EXPECT_EQ(console.printed(), "");
    rig.factory();
    PanelRig::drain();
    rig.parameter(1005).setValue(0.25f);
    EXPECT_EQ(rig.vc->getParameter(1005), 0.25f);
    CapturedConsole lines;
    for (const std::int64_t address : {4000, -1}) EXPECT_EQ(rig.vc->getParameter(address), 0.0f);
    rig.vc->setParameter(-7, 0.5f);
    EXPECT_EQ(lines.printed(),
              "AudioUnitViewController: ERROR: The parameter address 4000 is not available.\n"
              "AudioUnitViewController: ERROR: The parameter address -1 is not available.\n"
              "AudioUnitViewController: ERROR: The parameter address -7 is not available.\n");
    rig.vc->setParameter(2, 0.5f);
    PanelRig::drain();
    EXPECT_EQ(rig.panel().valueAttack, 0.5);
    // The panel sends only addresses the unit can take.
    const float before = rig.parameter(1).value();
    rig.vc->onSorvaneViewParameter(std::int64_t(1) << 32 | 1, 0.9f); // would wrap to address 1
    rig.vc->onSorvaneViewParameter(-1, 0.9f);
    EXPECT_EQ(rig.parameter(1).value(), before);
}

// ---- the document picker and the alerts, answered as a user would ---------------------------------
// Headless, the user's answer is the presented controller's own call. The same tests run in a real
// window under Xvfb (built with SORVANE_DIALOGS_ON_SCREEN), where the dialogs are GTK's and the
// answers go through their buttons and entries.

namespace {

namespace fs = std::filesystem;

bool waitFor(const std::function<bool()>& done) {
    return plat::RunLoop::main().runUntil(done, std::chrono::seconds(30));
}

#ifdef SORVANE_DIALOGS_ON_SCREEN
// The mapped toplevel with that title, when there is one.
GtkWindow* shown(const std::string& title) {
    GtkWindow* found = nullptr;
    for (GList* w = gtk_window_list_toplevels(); w; w = g_list_delete_link(w, w))
        if (gtk_widget_get_mapped(GTK_WIDGET(w->data)) && gtk_window_get_title(GTK_WINDOW(w->data)) &&
            title == gtk_window_get_title(GTK_WINDOW(w->data)))
            found = GTK_WINDOW(w->data);
    return found;
}

GtkWindow* waitForShown(const std::string& title) {
    GtkWindow* found = nullptr;
    waitFor([&] { return (found = shown(title)) != nullptr; });
    return found;
}

GtkEntry* entryOf(GtkWindow* dialog) {
    GtkEntry* entry = nullptr;
    GList* children = gtk_container_get_children(
        GTK_CONTAINER(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog))));
    for (GList* c = children; c; c = c->next)
        if (GTK_IS_ENTRY(c->data)) entry = GTK_ENTRY(c->data);
    g_list_free(children);
    return entry;
}

// The file chooser's list of files, among its widgets and their inner ones.
GtkTreeView* fileList(GtkWidget* widget) {
    if (GTK_IS_TREE_VIEW(widget) && gtk_widget_get_mapped(widget) &&
        gtk_tree_selection_get_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(widget))) ==
            GTK_SELECTION_MULTIPLE)
        return GTK_TREE_VIEW(widget);
    if (!GTK_IS_CONTAINER(widget)) return nullptr;
    GtkTreeView* found = nullptr;
    gtk_container_forall(
        GTK_CONTAINER(widget),
        [](GtkWidget* child, gpointer data) {
            auto* result = static_cast<GtkTreeView**>(data);
            if (!*result) *result = fileList(child);
        },
        &found);
    return found;
}

bool press(GtkWindow* dialog, int response) {
    GtkWidget* button = dialog ? gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), response) : nullptr;
    if (!button) return false;
    gtk_button_clicked(GTK_BUTTON(button));
    return true;
}
#endif

class DialogsAnswered : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_DOCUMENTS_DIR", documents.path().c_str(), 1);
#ifdef SORVANE_DIALOGS_ON_SCREEN
        auto made = plat::UIWindow::makeOnScreen({512, 512}, "YUX Sorvane");
        ASSERT_TRUE(made.ok()) << made.error().description;
        rig.window = made.value();
#endif
        rig.open();
        ASSERT_TRUE(waitFor([&] { return rig.vc->audioUnit() != nullptr; }));
    }
    void TearDown() override {
        if (rig.vc->presentedViewController()) rig.vc->dismiss(false);
        PanelRig::drain();
        ::unsetenv("XDG_DOCUMENTS_DIR");
    }
    template <class T>
    std::shared_ptr<T> presented() {
        return std::dynamic_pointer_cast<T>(rig.vc->presentedViewController());
    }
    // Whether the alert of that title is on show: presented, and on screen GTK's dialog mapped.
    bool alertShown(const std::string& title) {
        const auto alert = presented<plat::UIAlertController>();
        if (!alert || alert->alertTitle() != title) return false;
#ifdef SORVANE_DIALOGS_ON_SCREEN
        return shown(title) != nullptr;
#else
        return true;
#endif
    }
    // Presses the alert's button at `index`, typing `text` into its field first when given.
    bool answerAlert(std::size_t index, const std::optional<std::string>& text = std::nullopt) {
        const auto alert = presented<plat::UIAlertController>();
        if (!alert) return false;
#ifdef SORVANE_DIALOGS_ON_SCREEN
        GtkWindow* dialog = waitForShown(alert->alertTitle());
        if (!dialog) return false;
        if (text) {
            GtkEntry* entry = entryOf(dialog);
            if (!entry) return false;
            gtk_entry_set_text(entry, text->c_str());
        }
        return press(dialog, int(index));
#else
        if (text) alert->textFields().front()->text = *text;
        alert->performAction(index);
        return true;
#endif
    }
    // Chooses these files in the presented picker, or cancels it when there are none.
    bool choose(const std::vector<fs::path>& files) {
        const auto picker = presented<plat::UIDocumentPickerViewController>();
        if (!picker) return false;
#ifdef SORVANE_DIALOGS_ON_SCREEN
        GtkWindow* dialog = waitForShown("Open");
        if (!dialog) return false;
        if (files.empty()) return press(dialog, GTK_RESPONSE_CANCEL);
        // The files are the folder's all: the first chosen once the folder is loaded (asked again until
        // then), the rest by selecting every row, as Ctrl+A does.
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), files.front().parent_path().c_str());
        const auto chosen = [&] {
            GSList* names = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(dialog));
            std::set<fs::path> got;
            for (GSList* n = names; n; n = n->next) got.insert(static_cast<const char*>(n->data));
            g_slist_free_full(names, g_free);
            return got;
        };
        bool selected = waitFor([&] {
            gtk_file_chooser_select_filename(GTK_FILE_CHOOSER(dialog), files.front().c_str());
            return !chosen().empty();
        });
        if (selected && files.size() > 1) {
            GtkTreeView* list = fileList(GTK_WIDGET(dialog));
            if (!list) return false;
            gtk_tree_selection_select_all(gtk_tree_view_get_selection(list));
            selected = waitFor([&] { return chosen() == std::set<fs::path>(files.begin(), files.end()); });
        }
        return selected && press(dialog, GTK_RESPONSE_ACCEPT);
#else
        if (files.empty()) {
            picker->cancel();
        } else {
            std::vector<plat::URL> urls;
            for (const auto& file : files) urls.push_back(plat::URL::fileURL(file));
            picker->pick(urls);
        }
        return true;
#endif
    }

    ScratchFolder documents;
    PanelRig rig;
};

} // namespace

TEST_F(DialogsAnswered, ThePickerImportsAnyDataAndOnlyPrintsWhatWasPicked) {
    const fs::path a = documents.path() / "a.wav", b = documents.path() / "b.plist";
    writeText(a, "a");
    writeText(b, "b");
    const auto listed = [&] {
        std::set<fs::path> names;
        for (const auto& entry : fs::directory_iterator(documents.path())) names.insert(entry.path());
        return names;
    };
    const auto before = listed();
    rig.vc->openFilePicker();
    auto picker = presented<plat::UIDocumentPickerViewController>();
    ASSERT_TRUE(picker);
    EXPECT_EQ(picker->documentTypes(), std::vector<std::string>{"public.data"});
    EXPECT_EQ(picker->mode(), plat::UIDocumentPickerViewController::Mode::import);
    EXPECT_EQ(int(picker->mode()), 0);
    EXPECT_TRUE(picker->allowsMultipleSelection);
    EXPECT_EQ(picker->delegate.lock().get(), static_cast<plat::UIDocumentPickerDelegate*>(rig.vc.get()));
    {
        CapturedConsole console;
        ASSERT_TRUE(choose({a, b}));
        ASSERT_TRUE(waitFor([&] { return !rig.vc->presentedViewController(); }));
        EXPECT_EQ(console.printed(), "documentPicker: [" + plat::URL::fileURL(a).absoluteString() + ", " +
                                         plat::URL::fileURL(b).absoluteString() + "]\n");
    }
    {
        CapturedConsole console;
        rig.vc->openFilePicker();
        ASSERT_TRUE(choose({}));
        ASSERT_TRUE(waitFor([&] { return !rig.vc->presentedViewController(); }));
        EXPECT_EQ(console.printed(), "The document picker was canceled.\n");
    }
    // The single-document callback prints the document, then hands on a list of it.
    CapturedConsole console;
    rig.vc->documentPicker(*picker, plat::URL::fileURL(a));
    const std::string url = plat::URL::fileURL(a).absoluteString();
    EXPECT_EQ(console.printed(), "documentPicker: " + url + "\ndocumentPicker: [" + url + "]\n");
    EXPECT_EQ(listed(), before) << "nothing opened, copied or written";
    EXPECT_EQ(readText(a), "a");
}

TEST_F(DialogsAnswered, AnAlertPrintsOneLineRunsItsCompletionOnceShownAndOKOnlyPrints) {
    int completions = 0;
    bool shownWhenCompleted = false;
    CapturedConsole console;
    rig.vc->alert("Caption", "the message", [&] {
        ++completions;
        shownWhenCompleted = alertShown("Caption");
    });
    EXPECT_EQ(completions, 0) << "not run inline";
    auto alert = presented<plat::UIAlertController>();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->alertTitle(), "Caption");
    EXPECT_EQ(alert->message(), "the message");
    EXPECT_EQ(alert->preferredStyle(), plat::UIAlertController::Style::alert);
    ASSERT_EQ(alert->actions().size(), 1u);
    EXPECT_EQ(alert->actions()[0]->title(), "OK");
    EXPECT_EQ(alert->actions()[0]->style(), plat::UIAlertAction::Style::defaultStyle);
    EXPECT_TRUE(alert->textFields().empty());
    ASSERT_TRUE(waitFor([&] { return completions == 1; }));
    EXPECT_TRUE(shownWhenCompleted) << "the completion runs once the alert is on show";
    EXPECT_EQ(console.printed(), "Alert: Caption : the message\n");
    ASSERT_TRUE(answerAlert(0));
    ASSERT_TRUE(waitFor([&] { return !rig.vc->presentedViewController(); }));
    EXPECT_EQ(console.printed(), "Alert: Caption : the message\nAlert was accepted.\n");
    EXPECT_EQ(completions, 1) << "not run again by the button";
    // Without a completion, and with empty texts: the line keeps its separators.
    rig.vc->alert("", "");
    ASSERT_TRUE(presented<plat::UIAlertController>());
    ASSERT_TRUE(answerAlert(0));
    ASSERT_TRUE(waitFor([&] { return !rig.vc->presentedViewController(); }));
    EXPECT_EQ(console.printed(),
              "Alert: Caption : the message\nAlert was accepted.\nAlert:  : \nAlert was accepted.\n");
}

TEST_F(DialogsAnswered, AQuestionPrintsTheAnswerAndNothingElse) {
    for (const auto& [button, line] : std::vector<std::pair<std::size_t, std::string>>{
             {0, "Answer was YES.\n"}, {1, "Answer was NO.\n"}}) {
        int completions = 0;
        CapturedConsole console;
        rig.vc->alertQuestion("Question", "Sure?", [&] { ++completions; });
        auto alert = presented<plat::UIAlertController>();
        ASSERT_TRUE(alert);
        ASSERT_EQ(alert->actions().size(), 2u);
        EXPECT_EQ(alert->actions()[0]->title(), "Yes");
        EXPECT_EQ(alert->actions()[0]->style(), plat::UIAlertAction::Style::defaultStyle);
        EXPECT_EQ(alert->actions()[1]->title(), "No");
        EXPECT_EQ(alert->actions()[1]->style(), plat::UIAlertAction::Style::cancel);
        ASSERT_TRUE(waitFor([&] { return completions == 1; }));
        ASSERT_TRUE(answerAlert(button));
        ASSERT_TRUE(waitFor([&] { return !rig.vc->presentedViewController(); }));
        EXPECT_EQ(console.printed(), "Alert: Question : Sure?\n" + line);
        EXPECT_EQ(completions, 1);
    }
}

TEST_F(DialogsAnswered, AFileNameIsAskedForAgainWhileItNamesAnExistingFile) {
    writeText(documents.path() / "taken.plist", "x");
    struct Row {
        const char* fault;
        std::string defaultName, typed;
        bool asksAgain;
    };
    const Row rows[] = {
        {"an empty field not taking the default name", "taken.plist", "", true},
        {"an unused default name asked for again", "fresh.plist", "", false},
        {"a typed name not checked", "fresh.plist", "taken.plist", true},
        {"a typed unused name asked for again", "taken.plist", "other.plist", false},
    };
    for (const Row& row : rows) {
        CapturedConsole console;
        rig.vc->alertFileName("save", row.defaultName);
        auto alert = presented<plat::UIAlertController>();
        ASSERT_TRUE(alert) << row.fault;
        EXPECT_EQ(alert->alertTitle(), "File name");
        EXPECT_EQ(alert->message(), "Please enter the file name for the current file: ");
        ASSERT_EQ(alert->textFields().size(), 1u);
        EXPECT_EQ(alert->textFields()[0]->placeholder, "file name");
        EXPECT_EQ(alert->textFields()[0]->text, row.defaultName);
        ASSERT_EQ(alert->actions().size(), 2u);
        EXPECT_EQ(alert->actions()[0]->title(), "OK");
        EXPECT_EQ(alert->actions()[1]->title(), "Cancel");
        EXPECT_EQ(alert->actions()[1]->style(), plat::UIAlertAction::Style::cancel);
        ASSERT_TRUE(answerAlert(0, row.typed));
        const auto name = row.typed.empty() ? row.defaultName : row.typed;
        if (!row.asksAgain) {
            ASSERT_TRUE(waitFor([&] { return !rig.vc->presentedViewController(); })) << row.fault;
            EXPECT_EQ(console.printed(), "") << row.fault;
            EXPECT_FALSE(fs::exists(documents.path() / name)) << "nothing written";
            continue;
        }
        // Asked again with the name pre-filled; the same name once more asks once more.
        for (int again = 0; again < 2; ++again) {
            ASSERT_TRUE(waitFor([&] {
                const auto next = presented<plat::UIAlertController>();
                return next && next != alert && alertShown("File name");
            })) << row.fault;
            alert = presented<plat::UIAlertController>();
            EXPECT_EQ(alert->message(), "The file already exists. Please type in another file name: ");
            EXPECT_EQ(alert->textFields()[0]->text, name) << row.fault;
            ASSERT_TRUE(answerAlert(0));
        }
        ASSERT_TRUE(waitFor([&] {
            const auto next = presented<plat::UIAlertController>();
            return next && next != alert && alertShown("File name");
        }));
        ASSERT_TRUE(answerAlert(1));
        ASSERT_TRUE(waitFor([&] { return !rig.vc->presentedViewController(); }));
        EXPECT_EQ(console.printed(), "Save action was canceled.\n") << row.fault;
        EXPECT_EQ(readText(documents.path() / "taken.plist"), "x") << "never overwritten";
    }
}
