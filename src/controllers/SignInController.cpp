#include "controllers/SignInController.h"

#include "network/Deployment.h"
#include "storage/AppSettings.h"
#include "storage/CredentialVault.h"
#include "types/LogCategories.h"

#include <QDebug>
#include <QRegularExpression>
#include <QTimer>

SignInController::SignInController(QObject *parent)
    : QObject(parent)
    , renewalTimer(new QTimer(this))
{
    connect(renewalTimer, &QTimer::timeout, this, &SignInController::renewSession);
}

void SignInController::setRenewalInterval(int milliseconds)
{
    renewalIntervalMs = milliseconds;
}

bool SignInController::isValidEmail(const QString &email)
{
    static const QRegularExpression expression(
        QRegularExpression::anchoredPattern(
            QStringLiteral("\\b[A-Z0-9._%+-]+@[A-Z0-9.-]+\\.[A-Z]{2,4}\\b")),
        QRegularExpression::CaseInsensitiveOption);
    return expression.match(email).hasMatch();
}

// The renewal runs while the home page is shown, and only then.
void SignInController::showPage(Form form)
{
    shownPage = form;
    renewalTimer->stop();
    if (form == Form::MainPage)
        renewalTimer->start(renewalIntervalMs);
    emit pageWanted(form);
}

void SignInController::start()
{
    showPage(Form::LoadingPage);
    openChain();
    emit requestBrandId(Deployment::brandDomain());
}

void SignInController::openChain()
{
    if (chainOpen)
        return;
    chainOpen = true;
    emit serviceRequestsBegin();
}

void SignInController::closeChain()
{
    if (!chainOpen)
        return;
    chainOpen = false;
    emit serviceRequestsEnd();
}

void SignInController::brandIdResolved(const QString &resolvedBrandId)
{
    brandId = resolvedBrandId;
    if (loginAwaitingBrand) {
        loginAwaitingBrand = false;
        emit requestLoginData(email, password, brandId);
        return;
    }
    restoreSession();
}

void SignInController::restoreSession()
{
    emit storedLanguageWanted();
    QString storedEmail = AppSettings::value(AppSettings::LastEmail).toString();
    QString storedPassword;
    const bool storedRemember = AppSettings::value(AppSettings::RememberPassword).toBool();
    const QByteArray target = AppSettings::value(AppSettings::CredentialTarget).toByteArray();
    if (storedRemember && !target.isEmpty()) {
        QString user;
        QString secret;
        const CredentialVault::Entry entry = CredentialVault::load(user, secret, target);
        if (entry == CredentialVault::Entry::Found && !user.isEmpty() && !secret.isEmpty()) {
            storedEmail = user;
            storedPassword = secret;
        }
        // An entry this program cannot have written is no password: it goes, and so does
        // "remember".
        if (entry == CredentialVault::Entry::Damaged) {
            qCDebug(lcApp) << "The stored password is damaged; it is deleted.";
            CredentialVault::write(QString(), QString(), target);
            AppSettings::setValue(AppSettings::RememberPassword, false);
        }
    }
    const bool rememberRestored = storedRemember && !storedPassword.isEmpty();
    emit credentialsRestored(storedEmail, storedPassword, rememberRestored);
    if (!storedEmail.isEmpty() && !storedPassword.isEmpty()) {
        signIn(storedEmail, storedPassword, rememberRestored);
        return;
    }
    closeChain();
    showPage(Form::LoginPage);
}

void SignInController::signIn(const QString &givenEmail, const QString &givenPassword,
                              bool rememberGiven)
{
    if (!isValidEmail(givenEmail)) {
        closeChain();
        showPage(Form::LoginPage);
        emit invalidEmailGiven();
        return;
    }
    emit loginErrorCleared();
    qCDebug(lcApp) << "Signing in";
    email = givenEmail;
    password = givenPassword;
    remember = rememberGiven;
    openChain();
    loginInProgress = true;
    if (loggedOut)
        showPage(Form::LoadingPage);
    if (!brandId.isEmpty()) {
        emit requestLoginData(email, password, brandId);
        return;
    }
    loginAwaitingBrand = true;
    emit requestBrandId(Deployment::brandDomain());
}

void SignInController::subscriptionIsActive()
{
    if (!loginInProgress && loggedOut)
        return;
    loggedOut = false;
    rememberCredentials();
    loginInProgress = false;
    showPage(Form::LoadingPage);
    emit requestAllServersData();
}

// Stores the sign-in as the member asked: the last e-mail always, the password in the
// credential store only with "remember" on.
void SignInController::rememberCredentials()
{
    const QByteArray oldTarget = AppSettings::value(AppSettings::CredentialTarget).toByteArray();
    AppSettings::setValue(AppSettings::LastEmail, email);
    AppSettings::setValue(AppSettings::RememberPassword, remember);
    AppSettings::setValue(AppSettings::CredentialTarget, email);
    if (!remember || password.isEmpty()) {
        AppSettings::setValue(AppSettings::RememberPassword, false);
        if (!oldTarget.isEmpty())
            CredentialVault::write(QString(), QString(), oldTarget);
        return;
    }
    const QByteArray target = AppSettings::value(AppSettings::CredentialTarget).toByteArray();
    // Another member's password does not stay behind.
    if (!oldTarget.isEmpty() && oldTarget != target)
        CredentialVault::write(QString(), QString(), oldTarget);
    const bool kept = CredentialVault::write(email, password, target);
    emit rememberProblem(!kept);
    if (!kept)
        AppSettings::setValue(AppSettings::RememberPassword, false);
}

void SignInController::serversReceived(const QVector<ServerData> &servers)
{
    if (loggedOut) {
        closeChain();
        return;
    }
    emit serversArrived(servers);
    // The favourites come from the account once the list is on the home screen.
    emit requestFavoriteServersData();
    showPage(Form::MainPage);
}

void SignInController::favouritesReceived(const QVector<int> &favoriteServerIds)
{
    closeChain();
    if (loggedOut)
        return;
    emit favouritesArrived(favoriteServerIds);
}

// Latency results only take a signed-in member from the loading page to the home page; they
// never close a page the member opened, nor bring a home page back after log-out.
void SignInController::latencyResultsArrived()
{
    if (loggedOut || shownPage != Form::LoadingPage)
        return;
    showPage(Form::MainPage);
}

void SignInController::replyErrorOccurred(ReplyError::Type errorType, const QString &message)
{
    closeChain();
    // The start-up brand lookup gave up: never leave the member on the loading page.
    if (brandId.isEmpty() && !loginInProgress) {
        // The member's language, which the sign-in would otherwise have applied first.
        emit storedLanguageWanted();
        emit failed(Failure::ServiceUnavailable, message);
        showPage(Form::MessagePage);
        return;
    }
    if (!loginInProgress && loggedOut)
        return;
    switch (errorType) {
    case ReplyError::Login:
        loginInProgress = false;
        loggedOut = true;
        showPage(Form::LoginPage);
        emit loginRefused(message);
        return;
    case ReplyError::Subscription:
        loginInProgress = false;
        loggedOut = true;
        emit failed(Failure::InactiveSubscription, message);
        showPage(Form::MessagePage);
        return;
    case ReplyError::Service:
        break;
    }
    emit failed(Failure::RequestFailed, message);
    showPage(Form::MessagePage);
}

void SignInController::returnFromMessage(Form form)
{
    showPage(form);
    if (form == Form::LoadingPage && brandId.isEmpty()) {
        openChain();
        emit requestBrandId(Deployment::brandDomain());
    }
}

void SignInController::renewSession()
{
    // A late latency result may show the home page after a log-out; there is no account to
    // renew then.
    if (loggedOut)
        return;
    openChain();
    emit requestLoginData(email, password, brandId);
}

void SignInController::logOut()
{
    loginAwaitingBrand = false;
    loginInProgress = false;
    renewalTimer->stop();
    const QByteArray target = AppSettings::value(AppSettings::CredentialTarget).toByteArray();
    if (!target.isEmpty())
        CredentialVault::write(QString(), QString(), target);
    AppSettings::setValue(AppSettings::CredentialTarget, QString());
    email.clear();
    password.clear();
    remember = false;
    loggedOut = true;
    closeChain();
    qCDebug(lcApp) << "Signed out";
    showPage(Form::LoginPage);
}
