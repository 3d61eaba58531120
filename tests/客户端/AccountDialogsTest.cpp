// The account dialogs' boxes and rules, sign-up and password change against a scripted teacher
// server, the answer-format help and the About box.
#include "MainWindowFixture.h"

#include "Pellucan.h"
#include "Sockets.h"
#include "UnitAbout.h"
#include "UnitAccountInput.h"
#include "UnitCommon.h"
#include "UnitDlgHelpSend.h"
#include "UnitRegist.h"
#include "UnitResetpwd.h"
#include "UnitSocketClient.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPointer>

#include <array>

namespace {

void Type(QLineEdit* box, const QString& text) {
    for (const QChar c : text)
        PressKey(box, Qt::Key_unknown, QString(c));
}

void Paste(QLineEdit* box, const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    box->paste();
}

AnsiString Repeated(const AnsiString& piece, int times) {
    AnsiString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

const char* const CourseBox = "操作提示 | 请选择或输入课程名称，并输入列表框中的课程名称进行确认。";
const char* const ConnectFirstBox = "操作提示 | 请先“链接”服务器！";
const char* const NoAccountBox = "操作提示 | 账号不能为空";
const char* const NoNameBox = "操作提示 | 用户名不能为空";
const char* const NoPasswordBox = "操作提示 | 密码不能为空";

class AccountCommandsTest : public MainWindowTest {
protected:
    AccountCommandsTest() {
        FormRegist = &Regist;
        FormResetpwd = &Resetpwd;
        dllgHelpSend = &HelpSend;
    }
    ~AccountCommandsTest() override {
        FormRegist = nullptr;
        FormResetpwd = nullptr;
        dllgHelpSend = nullptr;
    }
    // A window pointed at the server, not yet connected, with the student number typed.
    TFormMain& CreateIdleWindow() {
        TFormMain& w = CreateWindow();
        PointAt(w, Server);
        w.EditStudNo->setText(QStringLiteral("2023001"));
        return w;
    }
    // The one box shown since the count was taken; "" when none.
    AnsiString NewBox(size_t before) const {
        EXPECT_LE(BoxCount(), before + 1);
        return BoxCount() > before ? Box(before) : AnsiString();
    }
    void Connect(TFormMain& w) {
        w.btnConnect->click();
        ASSERT_TRUE(WaitUntil([&] { return w.FClient->FSocket->Active(); }));
    }

    ScriptedTeacherServer Server;
    TFormRegist Regist;
    TFormResetpwd Resetpwd;
    TdllgHelpSend HelpSend;
};

} // namespace

TEST(AccountInputTest, ThePasswordRepeatRuleComparesTrimmedAndGivesTheFirstAsTyped) {
    const struct {
        AnsiString First, Second, Password;
    } cases[] = {
        {"pw01", "pw01", "pw01"},   {"pw01", "pw0l", ""}, {"Pw01", "pw01", ""}, {"", "", ""},
        {"pw01 ", "pw01", "pw01 "}, {" \t", "", " \t"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PasswordByRepeatRule(c.First, c.Second), c.Password)
            << c.First << " / " << c.Second;
}

TEST(AccountInputTest, TheEMailRuleWantsFourBytesWithADotAfterTheFirstAt) {
    const struct {
        AnsiString Text, Address;
    } cases[] = {
        {"li@x.cn", "li@x.cn"},
        {"@a.bc", "@a.bc"},
        {"  li@x.cn \t", "li@x.cn"},
        {"li@a.c", ""},
        {"li@", ""},
        {"li.x.cn", ""},
        {"li@localhost", ""},
        {"a@b@c.d", "a@b@c.d"},
        {"李@学校.cn", "李@学校.cn"},
        {"丂x.cn", ""}, // the trail byte of this character is the byte of "@"
    };
    for (const auto& c : cases)
        EXPECT_EQ(EmailAddressByRule(c.Text), c.Address) << c.Text;
}

TEST(AccountInputTest, TheBoxesTakeOnlyWhatTheirFiltersAndLimitsLet) {
    TFormRegist regist;
    TFormResetpwd resetpwd;
    const std::vector<QLineEdit*> accountBoxes = {
        regist.Edit_UserAccount, regist.Edit_pwd1,   regist.Edit_pwd2,  resetpwd.Edit_UserAccount,
        resetpwd.Edit_OldPwd,    resetpwd.Edit_pwd1, resetpwd.Edit_pwd2};
    const std::vector<QLineEdit*> passwordBoxes = {regist.Edit_pwd1, regist.Edit_pwd2,
                                                   resetpwd.Edit_OldPwd, resetpwd.Edit_pwd1,
                                                   resetpwd.Edit_pwd2};
    const std::vector<QLineEdit*> accountOnly = {regist.Edit_UserAccount,
                                                 resetpwd.Edit_UserAccount};
    const std::vector<QLineEdit*> nameAndEmail = {regist.Edit_UserName, regist.Edit_EMailAddress};
    const std::vector<QLineEdit*> nameBox = {regist.Edit_UserName};
    const std::vector<QLineEdit*> emailBox = {regist.Edit_EMailAddress};
    const std::vector<QLineEdit*> boxOfEachFilter = {regist.Edit_UserAccount, regist.Edit_UserName,
                                                     regist.Edit_EMailAddress,
                                                     resetpwd.Edit_OldPwd};
    constexpr int AllSelected = -2;
    enum How { Typed, Pasted };
    const struct {
        const char* Name;
        std::vector<QLineEdit*> Boxes;
        AnsiString Before;
        int Cursor; // -1: at the end; AllSelected: the whole text selected
        How Entry;
        AnsiString Input;
        AnsiString Expected;
    } cases[] = {
        {"account characters", accountBoxes, "", -1, Typed, "aZ09-._", "aZ09-._"},
        {"refused keys", accountBoxes, "", -1, Typed, "? @中\t,", ""},
        {"refused key over a selection", boxOfEachFilter, "ab1", AllSelected, Typed, "?", "ab1"},
        {"refused pasted characters", accountOnly, "", -1, Pasted,
         "ab?c d中e\x01\x7f" + AnsiString(1, '\0'), "abcde"},
        {"pasted password", passwordBoxes, "pw", -1, Pasted, "0?1 \t中\x7f", "pw01 中"},
        {"pasted control characters", nameAndEmail, "", -1, Pasted, "a\tb\nc\rd\x01g\x1bh\x7f",
         "abcdgh"},
        {"name keys", nameBox, "", -1, Typed, "张 @?!", "张 @!"},
        {"e-mail keys", emailBox, "", -1, Typed, "a*b/c:d?e\\f@x.cn", "abcdef@x.cn"},
        {"pasted e-mail", emailBox, "", -1, Pasted, "a*b/c:d?e\\f@x.cn", "abcdef@x.cn"},
        {"account limit",
         {regist.Edit_UserAccount, resetpwd.Edit_UserAccount},
         "abc",
         1,
         Pasted,
         AnsiString(30, 'x'),
         "a" + AnsiString(22, 'x') + "bc"},
        {"password limit", passwordBoxes, "", -1, Pasted, "1234567890", "12345678"},
        {"password full", passwordBoxes, "12345678", -1, Typed, "9", "12345678"},
        {"name limit in bytes", nameBox, "", -1, Pasted, Repeated("汉", 14), Repeated("汉", 13)},
        {"name one byte short of full", nameBox, Repeated("汉", 12) + "a", -1, Typed, "汉b",
         Repeated("汉", 12) + "ab"},
        {"e-mail without limit", emailBox, "", -1, Pasted, AnsiString(10000, 'a') + "@x.cn",
         AnsiString(10000, 'a') + "@x.cn"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        for (QLineEdit* box : c.Boxes) {
            SCOPED_TRACE(box->objectName().toStdString());
            box->setText(ToQString(c.Before));
            if (c.Cursor == AllSelected)
                box->selectAll();
            else if (c.Cursor >= 0)
                box->setCursorPosition(c.Cursor);
            if (c.Entry == Typed)
                Type(box, ToQString(c.Input));
            else
                Paste(box, ToQString(c.Input));
            EXPECT_EQ(box->text(), ToQString(c.Expected));
        }
    }
    // Pasted into the name: a "?" and a character that GBK cannot hold are left out.
    regist.Edit_UserName->clear();
    Paste(regist.Edit_UserName, ToQString("张?三") + QString::fromUtf8("\xF0\x9F\x98\x80"));
    EXPECT_EQ(regist.Edit_UserName->text(), ToQString("张三"));
    for (QLineEdit* box : passwordBoxes)
        EXPECT_EQ(box->echoMode(), QLineEdit::Password);
}

TEST_F(AccountCommandsTest, SignUpChecksInOrderAndSendsTheAccountRequest) {
    struct SignUpCase {
        const char* Name;
        bool Connected; // "链接" pressed before
        const char* Course;
        bool Accept;                        // Enter in the e-mail box, else Esc
        std::array<const char*, 5> Entries; // account, name, password, repeated, e-mail
        AnsiString Box;
        AnsiString Sent; // after "93" and the identity; empty: nothing
    };
    const std::vector<SignUpCase> cases = {
        {"cancelled",
         false,
         "高等数学",
         false,
         {"lisi01", "李四", "pw01", "pw01", "li@x.cn"},
         "",
         ""},
        {"blank course", false, " ", true, {"", "李四", "pw01", "pw01", ""}, CourseBox, ""},
        {"no connection", false, "高等数学", true, {"", "", "", "", ""}, ConnectFirstBox, ""},
        {"empty account",
         true,
         "高等数学",
         true,
         {"", "李四", "pw01", "pw01", ""},
         NoAccountBox,
         ""},
        {"empty name", true, "高等数学", true, {"lisi01", "", "pw01", "pw01", ""}, NoNameBox, ""},
        {"passwords differ",
         true,
         "高等数学",
         true,
         {"lisi01", "李四", "pw01", "pw0l", ""},
         NoPasswordBox,
         ""},
        {"no password", true, "高等数学", true, {"lisi01", "李四", "", "", ""}, NoPasswordBox, ""},
        {"signed up",
         true,
         "高等数学",
         true,
         {"lisi01", "李四", "pw01", "pw01", " li@x.cn "},
         "",
         "?李四?pw01?li@x.cn"},
        {"e-mail failing the rule",
         true,
         "高等数学",
         true,
         {"wang02", "王五", "ab", "ab", "w@x.c"},
         "",
         "?王五?ab?"},
    };
    TFormMain& w = CreateIdleWindow();
    AnsiString wire;
    std::array<const char*, 5> shown = {"", "", "", "", ""};
    const SignUpCase* current = nullptr;
    ModalDialogDriver driver([&](QDialog& dialog) {
        auto& regist = dynamic_cast<TFormRegist&>(dialog);
        QLineEdit* boxes[] = {regist.Edit_UserAccount, regist.Edit_UserName, regist.Edit_pwd1,
                              regist.Edit_pwd2, regist.Edit_EMailAddress};
        for (size_t i = 0; i < shown.size(); ++i) {
            EXPECT_EQ(boxes[i]->text(), Q(shown[i])) << "kept from the last showing";
            boxes[i]->setText(Q(current->Entries[i]));
        }
        shown = current->Entries;
        PressKey(current->Accept ? regist.Edit_EMailAddress : static_cast<QWidget*>(&regist),
                 current->Accept ? Qt::Key_Return : Qt::Key_Escape);
    });
    AnsiString studentNo; // set by "链接"
    for (const SignUpCase& c : cases) {
        SCOPED_TRACE(c.Name);
        current = &c;
        w.cbxCourseID->setEditText(Q(c.Course));
        if (c.Connected && !w.FClient->FSocket->Active()) {
            Connect(w);
            studentNo = "2023001";
        }
        const size_t boxes = BoxCount();
        w.N5->trigger();
        EXPECT_EQ(NewBox(boxes), c.Box);
        if (!c.Sent.empty()) {
            studentNo = c.Entries[0];
            const AnsiString identity = FirstAdapterId + "?" + c.Course + "?" + studentNo;
            EXPECT_EQ(w.FClient->FIdentity, identity);
            wire += "93" + identity + c.Sent;
            ASSERT_TRUE(Server.WaitForBytes(wire.size()));
        }
        EXPECT_EQ(w.FClient->FStudentNo, studentNo);
    }
    EXPECT_EQ(driver.Count(), static_cast<int>(cases.size()));
    EXPECT_EQ(Server.Received(), wire);
}

TEST_F(AccountCommandsTest, SignUpLooksAtTheConnectionOnceTheDialogHasClosed) {
    TFormMain& w = CreateWindowConnectedTo(Server);
    ModalDialogDriver driver([&](QDialog& dialog) {
        Server.CloseConnection();
        EXPECT_TRUE(WaitUntil([&] { return !w.FClient->FSocket->Active(); }));
        dynamic_cast<TFormRegist&>(dialog).BitBtn1->click();
    });
    w.N5->trigger();
    ASSERT_EQ(BoxCount(), 1u);
    EXPECT_EQ(Box(0), ConnectFirstBox);
}

TEST_F(AccountCommandsTest, PasswordChangeChecksTheAccountAndPasswordOnlyAndSendsEvenOffline) {
    struct ChangeCase {
        const char* Name;
        bool Connected;
        const char* Course;
        bool Accept;                        // "确定", else "取消"
        std::array<const char*, 4> Entries; // account, old password, new password, repeated
        AnsiString Box;
    };
    const std::vector<ChangeCase> cases = {
        {"cancelled", false, "", false, {"lisi01", "472", "n3w", "n3w"}, ""},
        {"empty account", false, "", true, {"", "472", "n3w", "n3w"}, NoAccountBox},
        {"new passwords differ", false, "", true, {"lisi01", "472", "n3w", "n3W"}, NoPasswordBox},
        {"no course, no connection", false, "", true, {"lisi01", "472", "n3w", "n3w"}, ""},
        {"sent", true, "高等数学", true, {"wang02", "", "n3w", "n3w"}, ""},
    };
    TFormMain& w = CreateIdleWindow();
    const ChangeCase* current = nullptr;
    ModalDialogDriver driver([&](QDialog& dialog) {
        auto& resetpwd = dynamic_cast<TFormResetpwd&>(dialog);
        QLineEdit* boxes[] = {resetpwd.Edit_UserAccount, resetpwd.Edit_OldPwd, resetpwd.Edit_pwd1,
                              resetpwd.Edit_pwd2};
        for (size_t i = 0; i < current->Entries.size(); ++i)
            boxes[i]->setText(Q(current->Entries[i]));
        (current->Accept ? resetpwd.BitBtn1 : resetpwd.BitBtn2)->click();
    });
    AnsiString identity = "";
    for (const ChangeCase& c : cases) {
        SCOPED_TRACE(c.Name);
        current = &c;
        w.cbxCourseID->setEditText(Q(c.Course));
        if (c.Connected)
            Connect(w);
        const size_t boxes = BoxCount();
        w.N7->trigger();
        EXPECT_EQ(NewBox(boxes), c.Box);
        if (c.Accept && c.Box.empty()) {
            identity = FirstAdapterId + "?" + c.Course + "?" + c.Entries[0];
            EXPECT_EQ(w.FClient->FStudentNo, c.Entries[0]);
        }
        EXPECT_EQ(w.FClient->FIdentity, identity);
    }
    const AnsiString sent = "94" + identity + "??n3w";
    ASSERT_TRUE(Server.WaitForBytes(sent.size()));
    EXPECT_EQ(Server.Received(), sent);
}

TEST_F(AccountCommandsTest, AnUploadAfterASignUpCarriesTheAccountInItsBlockHeaders) {
    TFormMain& w = CreateWindowConnectedTo(Server);
    ModalDialogDriver driver([&](QDialog& dialog) {
        auto& regist = dynamic_cast<TFormRegist&>(dialog);
        regist.Edit_UserAccount->setText(QStringLiteral("lisi01"));
        regist.Edit_UserName->setText(Q("李四"));
        regist.Edit_pwd1->setText(QStringLiteral("pw01"));
        regist.Edit_pwd2->setText(QStringLiteral("pw01"));
        regist.BitBtn1->click();
    });
    w.N5->trigger();
    ASSERT_TRUE(Server.WaitForMessages(1));
    Server.OnCode("01", "03");
    Server.OnCode("00", "05");
    Folder.Write("answer.txt", "x=1;");
    w.FClient->SendFileRequest("1", "k", Folder.File("answer.txt"));
    const AnsiString block = AnsiString("lisi01") + AnsiString(9, '\0') + "x=1;";
    ASSERT_TRUE(WaitUntil([&] { return EndsWith(Server.Received(), block); }));
    const AnsiString request = "01" + FirstAdapterId + "?高等数学?lisi01?1?k?";
    EXPECT_EQ(Server.MessageTexts()[1].substr(0, request.size()), request);
}

TEST_F(AccountCommandsTest, HelpShowsTheThreeAnswerFormsEachTime) {
    TFormMain& w = CreateWindow();
    std::vector<AnsiString> helpTexts;
    ModalDialogDriver helpDriver([&](QDialog& dialog) {
        auto& help = dynamic_cast<TdllgHelpSend&>(dialog);
        helpTexts.clear();
        for (QLabel* label : {help.Label1, help.Label4, help.Label2, help.Label5, help.Label6,
                              help.Label7, help.Label3, help.Label8})
            helpTexts.push_back(Text(label->text()));
        EXPECT_TRUE(QFontMetrics(help.Label4->font()).inFontUcs4(U'判'));
        if (helpDriver.Count() == 1)
            help.BitBtn1->click();
        else
            help.close();
    });
    w.btnHelp->click();
    w.btnHelp->click();
    EXPECT_EQ(helpDriver.Count(), 2);
    EXPECT_EQ(helpTexts, (std::vector<AnsiString>{
                             "判断题:",
                             "输入字母t,T或1表示判定为正确; f,F或0表示判定为错误.",
                             "选择题:",
                             "如选择B, 则输入字母B即可. 注: 不要添加单引号.",
                             "如选择A,C,E, 则输入ACE即可. 注: 不要添加单引号.",
                             "直接输入字母, 字母之间不加空格、逗号等分隔符.",
                             "填空题:",
                             "直接输入解答内容.",
                         }));
    EXPECT_EQ(BoxCount(), 0u);
}

TEST_F(AccountCommandsTest, EachAboutBoxIsMadeForItsShowingAndGoneWhenClosed) {
    TFormMain& w = CreateWindow();

    std::vector<QPointer<TdlgAbout>> abouts;
    ModalDialogDriver aboutDriver([&](QDialog& dialog) {
        auto& about = dynamic_cast<TdlgAbout&>(dialog);
        abouts.emplace_back(&about);
        EXPECT_EQ(Text(about.windowTitle()), "关于");
        EXPECT_EQ(Text(about.Label1->text()), "Belmisto客户端");
        EXPECT_EQ(Text(about.Label4->text() + about.lblVerNo->text()), "Version2.3 ");
        EXPECT_EQ(Text(about.Label3->text()), "2014.12-2017.09");
        EXPECT_FALSE(about.Memo1->toPlainText().isEmpty());
        EXPECT_TRUE(about.OKBtn->isDefault());
        about.OKBtn->click();
    });
    for (int showing = 1; showing <= 2; ++showing) {
        w.N8->trigger();
        ASSERT_EQ(abouts.size(), static_cast<size_t>(showing));
        EXPECT_TRUE(abouts.back().isNull());
    }
    EXPECT_EQ(BoxCount(), 0u);
}
