#pragma once

#include <QWidget>

class LanguageManager;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

// The sign-in page: collects e-mail and password and emits them; the main window signs in and
// shows errors here.
class LoginForm : public QWidget {
    Q_OBJECT

public:
    explicit LoginForm(QWidget *parent = nullptr);

    void setLanguageManager(LanguageManager *manager);
    void credentials(QString &email, QString &password) const;
    void setCredentials(const QString &email, const QString &password);
    bool isRememberPassword() const;
    void setRememberPassword(bool remember);
    void showError(const QString &text);
    // A short line under the remember switch: the keyring would not keep the password.
    void setRememberProblem(bool shown);
    void clearError();

    static QString clipboardText();
    static void setClipboardText(const QString &text);

signals:
    void logInClicked(QString email, QString password);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void on_labelForgotPassword_linkActivated(QString link);
    void on_labelDontHaveAccount_2_linkActivated(QString link);
    void on_pushButtonLogIn_clicked();
    void on_pushButtonShowPassword_clicked();
    void showFieldContextMenu(QLineEdit *field, QPoint pos);
    void translate();

private:
    void layOutRememberRow();
    void nameShowPasswordButton();
    void buildForm();
    QFrame *buildField(const QString &frameName, const QString &iconName, const QString &icon,
                       QLineEdit *field, int y);
    void buildRememberRow();
    void watchField(QLineEdit *field);
    bool handleClipboardKey(QLineEdit *field, int key);
    QString text(const char *key, const char *english) const;

    LanguageManager *languageManager = nullptr;
    QLabel *labelAppLogo;
    QLabel *labelAppName;
    QLineEdit *lineEditEmail;
    QLineEdit *lineEditPassword;
    QPushButton *pushButtonShowPassword;
    QPushButton *pushButtonRemember;
    QLabel *labelRememberPassword;
    QLabel *labelRememberProblem;
    QLabel *labelForgotPassword;
    QLabel *labelLoginError;
    QPushButton *pushButtonLogIn;
    QLabel *labelDontHaveAccount;
    QLabel *labelDontHaveAccount_2;
};
