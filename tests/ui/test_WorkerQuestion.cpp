// A device command's question on its own: its dialogs in turn, one answer to the place that asked, and
// nothing at all once it has been withdrawn, whatever its dialog still emits.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <gtkmm/button.h>
#include <gtkmm/messagedialog.h>

#include "WindowFixture.h"
#include "ui/CReadDS1996Dialog.h"
#include "ui/CWorkerQuestion.h"

namespace {

class WorkerQuestionTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        m_parent = std::make_unique<Gtk::Window>();
        m_parent->set_title("parent");
        new_question(CAdapterThread::CMD_Q4T_FROM_DB);
    }
    void new_question(CAdapterThread::Cmd cmd) {
        m_answers.clear();
        m_question = std::make_unique<CWorkerQuestion>(*m_parent, m_closed, cmd,
                                                       [this](bool yes) { m_answers.push_back(yes); });
    }
    void TearDown() override {
        m_question.reset();
        m_parent.reset();
        pump_pending();
        WindowFixture::TearDown();
    }

    Gtk::MessageDialog* warning() { return dynamic_cast<Gtk::MessageDialog*>(m_question->dialog()); }

    CClosedWindows m_closed; // outlives the questions, which close their dialogs into it
    std::unique_ptr<Gtk::Window> m_parent;
    std::unique_ptr<CWorkerQuestion> m_question;
    std::vector<bool> m_answers;
};

TEST_F(WorkerQuestionTest, EachOkLeadsToTheNextStepAndTheLastAnswersYesOnce) {
    m_question->confirm("first",
                        [this] { m_question->confirm("second", [this] { m_question->answer(true); }); });
    ASSERT_NE(nullptr, warning());
    EXPECT_TRUE(warning()->get_modal());
    EXPECT_EQ(m_parent.get(), warning()->get_transient_for());
    EXPECT_EQ("first", warning()->property_secondary_text().get_value());
    warning()->response(Gtk::ResponseType::OK);
    EXPECT_TRUE(m_answers.empty()) << "the first OK only leads to the second step";
    ASSERT_NE(nullptr, warning());
    EXPECT_EQ("second", warning()->property_secondary_text().get_value());
    Gtk::MessageDialog* second = warning();
    second->response(Gtk::ResponseType::OK);
    EXPECT_EQ(std::vector<bool>{true}, m_answers);
    EXPECT_EQ(nullptr, m_question->dialog());
    EXPECT_FALSE(second->get_visible());
    second->response(Gtk::ResponseType::OK);
    EXPECT_EQ(std::vector<bool>{true}, m_answers) << "one answer per question";
}

// Every way out of a warning but OK is a "no".
TEST_F(WorkerQuestionTest, AnythingButOkAnswersNo) {
    for (const int response : {int(Gtk::ResponseType::CANCEL), int(Gtk::ResponseType::DELETE_EVENT)}) {
        SCOPED_TRACE(response);
        new_question(CAdapterThread::CMD_Q4T_FROM_DB);
        m_question->confirm("text", [this] { m_question->answer(true); });
        warning()->response(response);
        EXPECT_EQ(std::vector<bool>{false}, m_answers);
        EXPECT_FALSE(m_question->is_pending());
    }
}

TEST_F(WorkerQuestionTest, AWithdrawnQuestionClosesItsDialogAndALateAnswerIsIgnored) {
    m_question->confirm("text", [this] { m_question->answer(true); });
    Gtk::MessageDialog* dialog = warning();
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(dialog->get_visible());
    m_question->withdraw();
    EXPECT_FALSE(dialog->get_visible());
    EXPECT_EQ(nullptr, m_question->dialog());
    // A click that was already on its way when the question went.
    dialog->response(Gtk::ResponseType::OK);
    m_question->answer(true);
    EXPECT_TRUE(m_answers.empty());
    pump_pending();
}

TEST_F(WorkerQuestionTest, TheDs1996ContentQuestionAnswersWithItsButtons) {
    struct Case {
        const char* button;
        bool answer;
    };
    for (const Case c : {Case{"Yes", true}, Case{"No", false}}) {
        SCOPED_TRACE(c.button);
        new_question(CAdapterThread::CMD_DS1996_TO_DB);
        m_question->ask_ds1996_content(1);
        auto* dialog = dynamic_cast<CReadDS1996Dialog*>(m_question->dialog());
        ASSERT_NE(nullptr, dialog);
        EXPECT_TRUE(dialog->get_visible());
        EXPECT_TRUE(dialog->get_modal());
        Gtk::Button* button = find_button(*dialog, c.button);
        ASSERT_NE(nullptr, button);
        button->activate();
        EXPECT_TRUE(pump_until([&] { return !m_answers.empty(); }));
        EXPECT_EQ(std::vector<bool>{c.answer}, m_answers);
        pump_pending();
    }
}

TEST_F(WorkerQuestionTest, AWithdrawnDs1996QuestionGivesNoAnswer) {
    m_question->ask_ds1996_content(0x34);
    auto* dialog = dynamic_cast<CReadDS1996Dialog*>(m_question->dialog());
    ASSERT_NE(nullptr, dialog);
    Gtk::Button* yes = find_button(*dialog, "Yes");
    ASSERT_NE(nullptr, yes);
    // Held here: the question deletes its dialog when it goes.
    GtkWidget* held_dialog = GTK_WIDGET(g_object_ref(dialog->gobj()));
    GtkWidget* held_yes = GTK_WIDGET(g_object_ref(yes->gobj()));
    m_question.reset();
    EXPECT_FALSE(gtk_widget_get_visible(held_dialog));
    // A click that was already on its way when the question went.
    g_signal_emit_by_name(held_yes, "clicked");
    EXPECT_TRUE(m_answers.empty());
    pump_pending();
    g_object_unref(held_yes);
    g_object_unref(held_dialog);
}

} // namespace
