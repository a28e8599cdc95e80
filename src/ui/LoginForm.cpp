#include "ui/LoginForm.h"

#include "i18n/LanguageManager.h"
#include "network/Deployment.h"
#include "widgets/Accessibility.h"
#include "widgets/LinkLabel.h"
#include "widgets/ScreenPixmap.h"
#include "widgets/Theme.h"

#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QDesktopServices>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>

namespace {

const char formStyle[] =
    "LoginForm { background: qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, stop:0 #FFFFFF, "
    "stop:0.42 #F7FAFD, stop:0.72 #F1F6FB, stop:1 #FFFFFF); }";
const char frameStyle[] =
    "QFrame { border: 1px solid rgba(0, 0, 0, 34); border-radius: 28px; background-color: white; }";
QString fieldStyle()
{
    return QStringLiteral("QLineEdit { background: transparent; border: none; color: %1; "
                          "selection-background-color: %2; }")
        .arg(QLatin1String(Theme::primaryText), QLatin1String(Theme::accent));
}
const char logInStyle[] =
    "QPushButton { background: qlineargradient(spread:pad, x1:0, y1:0, x2:1, y2:1, stop:0 #1E854E, "
    "stop:1 #0F5F34); border-radius: 26px; color: white; font-weight: bold; }";
const char menuStyle[] =
    "QMenu { background: #2b2b3d; border: 1px solid #444; border-radius: 6px; padding: 4px; }"
    "QMenu::item { color: white; padding: 6px 20px; }"
    "QMenu::item:selected { background: #4466ff; border-radius: 4px; }";
constexpr int rememberCaptionWidth = 152;

const char forgotLink[] = "<html><head/><body><p><a href=\"forgot\" style=\"color:%1; "
                          "text-decoration:none;\">%2</a></p></body></html>";
const char registerLink[] = "<html><head/><body><p><a href=\"register\" style=\"color:%1; "
                            "text-decoration:none; font-weight:bold;\">%2</a></p></body></html>";

QString accentColorName()
{
    const QColor accent(QStringLiteral("#199b56"));
    return (accent.isValid() ? accent : QColor(QLatin1String(Theme::accent))).name();
}

QLabel *iconLabel(QWidget *parent, const QString &name, const QString &resource, const QRect &rect)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(rect);
    label->setStyleSheet(QStringLiteral("border: none; background: transparent;"));
    label->setPixmap(ScreenPixmap::fromResource(resource, rect.size()));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

LoginForm::LoginForm(QWidget *parent)
    : QWidget(parent)
    , labelAppLogo(new QLabel(this))
    , labelAppName(new QLabel(QStringLiteral("Corvane"), this))
    , lineEditEmail(new QLineEdit)
    , lineEditPassword(new QLineEdit)
    , pushButtonShowPassword(nullptr)
    , pushButtonRemember(new QPushButton(this))
    , labelRememberPassword(new QLabel(this))
    , labelRememberProblem(new QLabel(this))
    , labelForgotPassword(new LinkLabel(this))
    , labelLoginError(new QLabel(this))
    , pushButtonLogIn(new QPushButton(this))
    , labelDontHaveAccount(new QLabel(this))
    , labelDontHaveAccount_2(new LinkLabel(this))
{
    setObjectName(QStringLiteral("LoginForm"));
    setAttribute(Qt::WA_StyledBackground);
    resize(411, 914);
    buildForm();
    for (QLineEdit *field : {lineEditEmail, lineEditPassword})
        watchField(field);
    buildRememberRow();
    connect(lineEditEmail, &QLineEdit::returnPressed, this, &LoginForm::on_pushButtonLogIn_clicked);
    connect(lineEditPassword, &QLineEdit::returnPressed, this,
            &LoginForm::on_pushButtonLogIn_clicked);
    connect(pushButtonLogIn, &QPushButton::clicked, this, &LoginForm::on_pushButtonLogIn_clicked);
    connect(labelForgotPassword, &QLabel::linkActivated, this,
            &LoginForm::on_labelForgotPassword_linkActivated);
    connect(labelDontHaveAccount_2, &QLabel::linkActivated, this,
            &LoginForm::on_labelDontHaveAccount_2_linkActivated);
    translate();
}

void LoginForm::buildForm()
{
    setStyleSheet(QString::fromLatin1(formStyle));

    labelAppLogo->setObjectName(QStringLiteral("labelAppLogo"));
    labelAppLogo->setGeometry(55, 150, 300, 64);
    labelAppLogo->setFixedSize(300, 64);
    labelAppLogo->setAlignment(Qt::AlignCenter);
    labelAppLogo->setPixmap(
        ScreenPixmap::fromResource(QStringLiteral(":/images/appIcon.png"), labelAppLogo->size()));
    Accessibility::hide(labelAppLogo);

    labelAppName->setObjectName(QStringLiteral("labelAppName"));
    labelAppName->setGeometry(0, 226, 411, 36);
    labelAppName->setAlignment(Qt::AlignCenter);
    labelAppName->setStyleSheet(QStringLiteral("color: %1; font-family: Roboto; font-size: 24px;")
                                    .arg(QLatin1String(Theme::primaryText)));

    lineEditEmail->setObjectName(QStringLiteral("lineEditEmail"));
    buildField(QStringLiteral("frameEmail"), QStringLiteral("labelEmailIcon"),
               QStringLiteral(":/images/buttons/emailIcon.png"), lineEditEmail, 330);
    lineEditPassword->setObjectName(QStringLiteral("lineEditPassword"));
    lineEditPassword->setEchoMode(QLineEdit::Password);
    QFrame *passwordFrame =
        buildField(QStringLiteral("framePassword"), QStringLiteral("labelPasswordIcon"),
                   QStringLiteral(":/images/buttons/lockIcon.png"), lineEditPassword, 402);
    lineEditPassword->resize(lineEditPassword->width() - 44, lineEditPassword->height());
    pushButtonShowPassword = new QPushButton(passwordFrame);
    pushButtonShowPassword->setObjectName(QStringLiteral("pushButtonShowPassword"));
    pushButtonShowPassword->setGeometry(311, 12, 32, 32);
    pushButtonShowPassword->setCursor(Qt::PointingHandCursor);
    pushButtonShowPassword->setStyleSheet(QStringLiteral("border: none; background: transparent;"));
    pushButtonShowPassword->setIcon(QIcon(QStringLiteral(":/images/buttons/eyeIcon.png")));
    pushButtonShowPassword->setIconSize(QSize(24, 24));
    connect(pushButtonShowPassword, &QPushButton::clicked, this,
            &LoginForm::on_pushButtonShowPassword_clicked);

    labelLoginError->setObjectName(QStringLiteral("labelLoginError"));
    labelLoginError->setGeometry(24, 466, 363, 44);
    labelLoginError->setWordWrap(true);
    labelLoginError->setAlignment(Qt::AlignCenter);
    labelLoginError->setStyleSheet(QStringLiteral("color: #B00020; background: transparent;"));
    labelLoginError->hide();

    labelForgotPassword->setObjectName(QStringLiteral("labelForgotPassword"));
    labelForgotPassword->setGeometry(230, 520, 157, 23);
    labelForgotPassword->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    pushButtonLogIn->setObjectName(QStringLiteral("pushButtonLogIn"));
    pushButtonLogIn->setGeometry(24, 600, 363, 52);
    pushButtonLogIn->setCursor(Qt::PointingHandCursor);
    pushButtonLogIn->setStyleSheet(QString::fromLatin1(logInStyle));

    labelDontHaveAccount->setObjectName(QStringLiteral("labelDontHaveAccount"));
    labelDontHaveAccount->setGeometry(24, 680, 363, 24);
    labelDontHaveAccount->setAlignment(Qt::AlignCenter);
    labelDontHaveAccount->setStyleSheet(QStringLiteral("color: %1; background: transparent;")
                                            .arg(QLatin1String(Theme::secondaryText)));
    labelDontHaveAccount_2->setObjectName(QStringLiteral("labelDontHaveAccount_2"));
    labelDontHaveAccount_2->setGeometry(24, 706, 363, 24);
    labelDontHaveAccount_2->setAlignment(Qt::AlignCenter);
}

QFrame *LoginForm::buildField(const QString &frameName, const QString &iconName,
                              const QString &icon, QLineEdit *field, int y)
{
    auto *frame = new QFrame(this);
    frame->setObjectName(frameName);
    frame->setGeometry(24, y, 363, 56);
    frame->setStyleSheet(QString::fromLatin1(frameStyle));
    Accessibility::hide(iconLabel(frame, iconName, icon, QRect(18, 16, 24, 24)));
    field->setParent(frame);
    field->setGeometry(52, 8, 295, 40);
    field->setStyleSheet(fieldStyle());
    return frame;
}

void LoginForm::buildRememberRow()
{
    pushButtonRemember->setObjectName(QStringLiteral("pushButtonRemember"));
    pushButtonRemember->setGeometry(24, 520, 40, 23);
    Accessibility::makeSwitch(pushButtonRemember);
    pushButtonRemember->setChecked(false);
    pushButtonRemember->setIconSize(QSize(40, 23));
    pushButtonRemember->setStyleSheet(QStringLiteral("border: none; background: transparent;"));
    QIcon toggle;
    toggle.addFile(QStringLiteral(":/images/buttons/toggleOff.png"), QSize(), QIcon::Normal,
                   QIcon::Off);
    toggle.addFile(QStringLiteral(":/images/buttons/toggleOn.png"), QSize(), QIcon::Normal,
                   QIcon::On);
    pushButtonRemember->setIcon(toggle);

    labelRememberPassword->setObjectName(QStringLiteral("labelRememberPassword"));
    labelRememberPassword->setGeometry(72, 520, rememberCaptionWidth, 23);
    labelRememberPassword->setStyleSheet(QStringLiteral("color: %1; background: transparent;")
                                             .arg(QLatin1String(Theme::primaryText)));

    // The caption toggles too: a transparent button lies over the whole row.
    labelRememberProblem->setObjectName(QStringLiteral("labelRememberProblem"));
    labelRememberProblem->setGeometry(24, 546, 363, 16);
    labelRememberProblem->setStyleSheet(
        QStringLiteral("color: #B00020; background: transparent; font-size: 11px;"));
    labelRememberProblem->hide();

    auto *rememberRow = new QPushButton(this);
    rememberRow->setObjectName(QStringLiteral("pushButtonRememberRow"));
    rememberRow->setGeometry(24, 520, 181, 23);
    rememberRow->setStyleSheet(QStringLiteral("border: 0; background: transparent;"));
    rememberRow->setCursor(Qt::PointingHandCursor);
    rememberRow->raise();
    // The switch beside it carries the name and takes the keyboard.
    Accessibility::hide(rememberRow);
    connect(rememberRow, &QPushButton::clicked, pushButtonRemember, &QPushButton::toggle);
}

void LoginForm::watchField(QLineEdit *field)
{
    field->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(field, &QLineEdit::customContextMenuRequested, this,
            [this, field](const QPoint &pos) { showFieldContextMenu(field, pos); });
    field->installEventFilter(this);
}

void LoginForm::setLanguageManager(LanguageManager *manager)
{
    languageManager = manager;
    connect(manager, &LanguageManager::translate, this, &LoginForm::translate);
    translate();
}

QString LoginForm::text(const char *key, const char *english) const
{
    return textWithFallback(languageManager, QString::fromLatin1(key), QString::fromUtf8(english));
}

void LoginForm::translate()
{
    lineEditEmail->setPlaceholderText(text("auth.email", "Email Address"));
    lineEditPassword->setPlaceholderText(text("auth.pass", "Password"));
    lineEditEmail->setAccessibleName(lineEditEmail->placeholderText());
    lineEditPassword->setAccessibleName(lineEditPassword->placeholderText());
    nameShowPasswordButton();
    pushButtonLogIn->setText(text("auth.login", "Login").toUpper());
    labelForgotPassword->setText(
        QString::fromLatin1(forgotLink)
            .arg(accentColorName(), text("auth.forgotPass", "Forgot Password")));
    labelDontHaveAccount->setText(text("auth.donthaveaccount", "Don`t have an account?"));
    labelDontHaveAccount_2->setText(
        QString::fromLatin1(registerLink)
            .arg(accentColorName(), text("auth.register", "Register now")));
    labelRememberPassword->setText(text("auth.remember", "Remember password"));
    pushButtonRemember->setAccessibleName(labelRememberPassword->text());
    layOutRememberRow();
    labelRememberProblem->setText(
        text("auth.rememberFailed", "The password could not be kept in the keyring."));
}

// A caption longer than its room takes the row up to the forgotten-password link, and the row's
// transparent button grows with it.
void LoginForm::layOutRememberRow()
{
    const QRect forgot = labelForgotPassword->geometry();
    const int linkLeft = forgot.right() + 1 -
                         labelForgotPassword->fontMetrics().horizontalAdvance(
                             text("auth.forgotPass", "Forgot Password"));
    const QRect caption = labelRememberPassword->geometry();
    const int wanted =
        labelRememberPassword->fontMetrics().horizontalAdvance(labelRememberPassword->text());
    const int width = qBound(rememberCaptionWidth, wanted, linkLeft - 12 - caption.left());
    labelRememberPassword->resize(width, caption.height());
    auto *row = findChild<QPushButton *>(QStringLiteral("pushButtonRememberRow"));
    row->resize(caption.left() + width - row->x(), row->height());
}

void LoginForm::setRememberProblem(bool shown)
{
    labelRememberProblem->setVisible(shown);
}

void LoginForm::credentials(QString &email, QString &password) const
{
    email = lineEditEmail->text();
    password = lineEditPassword->text();
}

void LoginForm::setCredentials(const QString &email, const QString &password)
{
    clearError();
    lineEditEmail->setText(email);
    lineEditPassword->setText(password);
    pushButtonRemember->setChecked(!password.isEmpty());
}

bool LoginForm::isRememberPassword() const
{
    return pushButtonRemember->isChecked();
}

void LoginForm::setRememberPassword(bool remember)
{
    pushButtonRemember->setChecked(remember);
}

void LoginForm::showError(const QString &errorText)
{
    labelLoginError->setText(errorText);
    labelLoginError->show();
}

void LoginForm::clearError()
{
    labelLoginError->clear();
    labelLoginError->hide();
}

QString LoginForm::clipboardText()
{
    return QApplication::clipboard()->text(QClipboard::Clipboard);
}

void LoginForm::setClipboardText(const QString &clipboard)
{
    QApplication::clipboard()->setText(clipboard, QClipboard::Clipboard);
}

void LoginForm::on_labelForgotPassword_linkActivated(QString)
{
    QDesktopServices::openUrl(QUrl(Deployment::membersLoginUrl(), QUrl::TolerantMode));
}

void LoginForm::on_labelDontHaveAccount_2_linkActivated(QString)
{
    QDesktopServices::openUrl(QUrl(Deployment::membersRegisterUrl(), QUrl::TolerantMode));
}

void LoginForm::on_pushButtonLogIn_clicked()
{
    clearError();
    emit logInClicked(lineEditEmail->text(), lineEditPassword->text());
}

void LoginForm::on_pushButtonShowPassword_clicked()
{
    lineEditPassword->setEchoMode(lineEditPassword->echoMode() == QLineEdit::Password
                                      ? QLineEdit::Normal
                                      : QLineEdit::Password);
    nameShowPasswordButton();
}

// Named after what a press does next.
void LoginForm::nameShowPasswordButton()
{
    pushButtonShowPassword->setAccessibleName(lineEditPassword->echoMode() == QLineEdit::Password
                                                  ? text("a11y.showPassword", "Show password")
                                                  : text("a11y.hidePassword", "Hide password"));
}

void LoginForm::showFieldContextMenu(QLineEdit *field, QPoint pos)
{
    const QString clipboard = clipboardText();
    QMenu menu(field);
    menu.setStyleSheet(QString::fromLatin1(menuStyle));
    QAction *paste =
        menu.addAction(tr("Paste"), field, [field, clipboard] { field->insert(clipboard); });
    paste->setEnabled(!clipboard.isEmpty());
    if (field->hasSelectedText()) {
        menu.addAction(tr("Copy"), field, [field] { setClipboardText(field->selectedText()); });
        menu.addAction(tr("Cut"), field, [field] {
            setClipboardText(field->selectedText());
            field->del();
        });
    }
    menu.addAction(tr("Select All"), field, &QLineEdit::selectAll);
    menu.exec(field->mapToGlobal(pos));
}

bool LoginForm::eventFilter(QObject *watched, QEvent *event)
{
    auto *field = qobject_cast<QLineEdit *>(watched);
    const bool shortcutOverride = event->type() == QEvent::ShortcutOverride;
    if (!field || (!shortcutOverride && event->type() != QEvent::KeyPress))
        return QWidget::eventFilter(watched, event);
    auto *keyEvent = static_cast<QKeyEvent *>(event);
    const int key = keyEvent->key();
    const bool clipboardKey =
        key == Qt::Key_V || key == Qt::Key_X || key == Qt::Key_A || key == Qt::Key_C;
    if (!(keyEvent->modifiers() & Qt::ControlModifier) || !clipboardKey)
        return QWidget::eventFilter(watched, event);
    if (shortcutOverride) {
        event->accept();
        return true;
    }
    return handleClipboardKey(field, key);
}

// Copying is done here rather than by the field, so copy and cut work in the password field too.
bool LoginForm::handleClipboardKey(QLineEdit *field, int key)
{
    switch (key) {
    case Qt::Key_V: {
        const QString clipboard = clipboardText();
        if (!clipboard.isEmpty())
            field->insert(clipboard);
        break;
    }
    case Qt::Key_C:
        if (field->hasSelectedText())
            setClipboardText(field->selectedText());
        break;
    case Qt::Key_X:
        if (field->hasSelectedText()) {
            setClipboardText(field->selectedText());
            field->del();
        }
        break;
    case Qt::Key_A:
        field->selectAll();
        break;
    }
    return true;
}
