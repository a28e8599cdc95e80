#include "app/MainWindow.h"

#include "i18n/LanguageManager.h"
#include "network/Deployment.h"
#include "network/NetworkManager.h"
#include "storage/AppSettings.h"
#include "storage/CredentialVault.h"
#include "types/LogCategories.h"
#include "ui/LoginForm.h"
#include "ui/MainForm.h"
#include "ui/MessageForm.h"

#include <QDebug>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTimer>

using AppStyleUtil::ApplicationForm::Form;

bool MainWindow::isValidEmail(const QString &email)
{
    static const QRegularExpression expression(
        QRegularExpression::anchoredPattern(
            QStringLiteral("\\b[A-Z0-9._%+-]+@[A-Z0-9.-]+\\.[A-Z]{2,4}\\b")),
        QRegularExpression::CaseInsensitiveOption);
    return expression.match(email).hasMatch();
}

void MainWindow::brandIdResolved(QString resolvedBrandId)
{
    brandId = resolvedBrandId;
    if (!pendingEmail.isEmpty() && !pendingPassword.isEmpty()) {
        emit requestLoginData(pendingEmail, pendingPassword, brandId);
        pendingEmail.clear();
        pendingPassword.clear();
        return;
    }
    restoreSession();
}

void MainWindow::applyStoredLanguage()
{
    int language = AppSettings::value(AppSettings::Language).toInt();
    if (language != Translation::English && language != Translation::Spanish &&
        language != Translation::French) {
        language = Translation::English;
        AppSettings::setValue(AppSettings::Language, language);
    }
    languageManager->languageChanged(Translation::Language(language));
}

void MainWindow::restoreSession()
{
    applyStoredLanguage();

    QString email = AppSettings::value(AppSettings::LastEmail).toString();
    QString password;
    const bool remember = AppSettings::value(AppSettings::RememberPassword).toBool();
    const QByteArray target = AppSettings::value(AppSettings::CredentialTarget).toByteArray();
    if (remember && !target.isEmpty()) {
        QString storedUser;
        QString storedSecret;
        const CredentialVault::Entry entry =
            CredentialVault::load(storedUser, storedSecret, target);
        if (entry == CredentialVault::Entry::Found && !storedUser.isEmpty() &&
            !storedSecret.isEmpty()) {
            email = storedUser;
            password = storedSecret;
        }
        // An entry this program cannot have written is no password: it goes, and so does
        // "remember".
        if (entry == CredentialVault::Entry::Damaged) {
            qCDebug(lcApp) << "The stored password is damaged; it is deleted.";
            CredentialVault::write(QString(), QString(), target);
            AppSettings::setValue(AppSettings::RememberPassword, false);
        }
    }
    widgetLogin->setCredentials(email, password);
    widgetLogin->setRememberPassword(remember && !password.isEmpty());
    if (!email.isEmpty() && !password.isEmpty()) {
        loginRequest(email, password);
        return;
    }
    closeSignInChain();
    showForm(Form::LoginPage);
}

void MainWindow::openSignInChain()
{
    if (signInChainOpen)
        return;
    signInChainOpen = true;
    widgetMain->beginServiceRequest();
}

void MainWindow::closeSignInChain()
{
    if (!signInChainOpen)
        return;
    signInChainOpen = false;
    widgetMain->endServiceRequest();
}

void MainWindow::loginRequest(QString email, QString password)
{
    if (!isValidEmail(email)) {
        closeSignInChain();
        showForm(Form::LoginPage);
        widgetLogin->showError(text("auth.invalidLogin", "Your email / password is incorrect."));
        return;
    }
    widgetLogin->clearError();
    qCDebug(lcApp) << "Signing in";
    openSignInChain();
    loginInProgress = true;
    if (loggedOut)
        showForm(Form::LoadingPage);
    if (!brandId.isEmpty()) {
        emit requestLoginData(email, password, brandId);
        return;
    }
    pendingEmail = email;
    pendingPassword = password;
    emit requestBrandId(Deployment::brandDomain());
}

void MainWindow::subscriptionRequest()
{
    showForm(Form::LoadingPage);
    emit requestSubscriptionStatus();
}

void MainWindow::allServersRequest()
{
    showForm(Form::LoadingPage);
    emit requestAllServersData();
}

void MainWindow::favoriteServersRequest()
{
    showForm(Form::LoadingPage);
    emit requestFavoriteServersData();
}

void MainWindow::processLogin() {}

void MainWindow::processSubscriptionStatus()
{
    if (!loginInProgress && loggedOut)
        return;
    loggedOut = 0;
    rememberCredentials();
    loginInProgress = false;
    showForm(Form::LoadingPage);
    emit requestAllServersData();
}

// Stores the sign-in as the member asked: the last e-mail always, the password in the
// credential store only with the remember control on.
void MainWindow::rememberCredentials()
{
    QString email;
    QString password;
    widgetLogin->credentials(email, password);
    const QByteArray oldTarget = AppSettings::value(AppSettings::CredentialTarget).toByteArray();
    if (email.isEmpty() || password.isEmpty())
        CredentialVault::read(email, password, oldTarget);
    const bool remember = widgetLogin->isRememberPassword();

    if (!email.isEmpty()) {
        AppSettings::setValue(AppSettings::LastEmail, email);
        AppSettings::setValue(AppSettings::RememberPassword, remember);
        AppSettings::setValue(AppSettings::CredentialTarget, email);
        if (remember && !password.isEmpty()) {
            const QByteArray target =
                AppSettings::value(AppSettings::CredentialTarget).toByteArray();
            // Another member's password does not stay behind.
            if (!oldTarget.isEmpty() && oldTarget != target)
                CredentialVault::write(QString(), QString(), oldTarget);
            const bool kept = CredentialVault::write(email, password, target);
            widgetLogin->setRememberProblem(!kept);
            if (!kept)
                AppSettings::setValue(AppSettings::RememberPassword, false);
            return;
        }
    }
    AppSettings::setValue(AppSettings::RememberPassword, false);
    if (!oldTarget.isEmpty())
        CredentialVault::write(QString(), QString(), oldTarget);
}

void MainWindow::processServerData(QVector<ServerData> serversData)
{
    if (loggedOut) {
        closeSignInChain();
        return;
    }
    widgetMain->setServers(serversData);
    // The favourites come from the account once the list is on the home screen.
    emit requestFavoriteServersData();
    showForm(Form::MainPage);
}

void MainWindow::processFavoriteServersData(QVector<int> favoriteServersIds)
{
    closeSignInChain();
    if (loggedOut)
        return;
    widgetMain->setFavoriteServers(favoriteServersIds);
}

// Latency results only take a signed-in member from the loading page to the home page; they
// never close a page the member opened, nor bring a home page back after log-out.
void MainWindow::pingDone()
{
    if (loggedOut || stackedWidget->currentIndex() != Form::LoadingPage)
        return;
    showForm(Form::MainPage);
}

void MainWindow::setCurrentServer(ServerData serverData)
{
    currentServer = serverData;
}

void MainWindow::replyErrorOccurred(ReplyError::Type errorType, QString message)
{
    closeSignInChain();
    // The start-up brand lookup gave up: never leave the member on the loading page.
    if (brandId.isEmpty() && !loginInProgress) {
        // The member's language, which the sign-in would otherwise have applied first.
        applyStoredLanguage();
        widgetMessage->setMessage(
            text("auth.serviceunaviable", "Service unavailable. Try again later."),
            text("auth.tryagain", "Try again"), false, Form::LoadingPage);
        showForm(Form::MessagePage);
        return;
    }
    if (!loginInProgress && loggedOut)
        return;
    switch (errorType) {
    case ReplyError::Login:
        loginInProgress = false;
        loggedOut = 1;
        showForm(Form::LoginPage);
        widgetLogin->showError(message);
        return;
    case ReplyError::Subscription:
        loginInProgress = false;
        loggedOut = 1;
        widgetMessage->setMessage(message, text("settings.manageAccount", "Manage Account"), true,
                                  Form::LoginPage);
        showForm(Form::MessagePage);
        return;
    case ReplyError::Service:
        break;
    }
    widgetMessage->setMessage(message, text("auth.tryagain", "Try again"), false, Form::LoginPage);
    showForm(Form::MessagePage);
}

void MainWindow::returnFromMessage(Form form)
{
    showForm(form);
    if (form == Form::LoadingPage && brandId.isEmpty()) {
        openSignInChain();
        emit requestBrandId(Deployment::brandDomain());
    }
}

void MainWindow::updateJwt()
{
    // A late pingDone may show the home page after a log-out; there is no account to renew then.
    if (loggedOut)
        return;
    QString email;
    QString password;
    widgetLogin->credentials(email, password);
    openSignInChain();
    emit requestLoginData(email, password, brandId);
}

void MainWindow::processLogOut()
{
    pendingEmail.clear();
    pendingPassword.clear();
    loginInProgress = false;
    jwtTimer->stop();
    trayIcon->hide();
    const QByteArray target = AppSettings::value(AppSettings::CredentialTarget).toByteArray();
    if (!target.isEmpty())
        CredentialVault::write(QString(), QString(), target);
    AppSettings::setValue(AppSettings::CredentialTarget, QString());
    widgetLogin->setCredentials(QString(), QString());
    widgetLogin->setRememberPassword(false);
    loggedOut = 1;
    widgetMain->stopLatencyRefresh();
    networkManager->forgetSession();
    closeSignInChain();
    qCDebug(lcApp) << "Signed out";
    showForm(Form::LoginPage);
}
