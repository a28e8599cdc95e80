#include "app/MainWindow.h"

#include "controllers/SignInController.h"
#include "i18n/LanguageManager.h"
#include "network/NetworkManager.h"
#include "storage/AppSettings.h"
#include "ui/LoginForm.h"
#include "ui/MainForm.h"
#include "ui/MessageForm.h"

#include <QStackedWidget>

using AppStyleUtil::ApplicationForm::Form;

bool MainWindow::isValidEmail(const QString &email)
{
    return SignInController::isValidEmail(email);
}

void MainWindow::createSignIn()
{
    signIn = new SignInController(this);
    connect(signIn, &SignInController::requestBrandId, this, &MainWindow::requestBrandId);
    connect(signIn, &SignInController::requestLoginData, this, &MainWindow::requestLoginData);
    connect(signIn, &SignInController::requestSubscriptionStatus, this,
            &MainWindow::requestSubscriptionStatus);
    connect(signIn, &SignInController::requestAllServersData, this,
            &MainWindow::requestAllServersData);
    connect(signIn, &SignInController::requestFavoriteServersData, this,
            &MainWindow::requestFavoriteServersData);

    connect(signIn, &SignInController::pageWanted, this, &MainWindow::showForm);
    connect(signIn, &SignInController::storedLanguageWanted, this,
            &MainWindow::applyStoredLanguage);
    connect(signIn, &SignInController::credentialsRestored, this,
            [this](const QString &email, const QString &password, bool remember) {
                widgetLogin->setCredentials(email, password);
                widgetLogin->setRememberPassword(remember);
            });
    connect(signIn, &SignInController::invalidEmailGiven, this, [this] {
        widgetLogin->showError(text("auth.invalidLogin", "Your email / password is incorrect."));
    });
    connect(signIn, &SignInController::loginRefused, widgetLogin, &LoginForm::showError);
    connect(signIn, &SignInController::loginErrorCleared, widgetLogin, &LoginForm::clearError);
    connect(signIn, &SignInController::rememberProblem, widgetLogin,
            &LoginForm::setRememberProblem);
    connect(signIn, &SignInController::failed, this, &MainWindow::showSignInFailure);
    connect(signIn, &SignInController::serversArrived, widgetMain, &MainForm::setServers);
    connect(signIn, &SignInController::favouritesArrived, widgetMain,
            &MainForm::setFavoriteServers);
    connect(signIn, &SignInController::serviceRequestsBegin, widgetMain,
            &MainForm::beginServiceRequest);
    connect(signIn, &SignInController::serviceRequestsEnd, widgetMain,
            &MainForm::endServiceRequest);
}

void MainWindow::setJwtRefreshInterval(int milliseconds)
{
    signIn->setRenewalInterval(milliseconds);
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

void MainWindow::showSignInFailure(SignInController::Failure failure, const QString &message)
{
    switch (failure) {
    case SignInController::Failure::ServiceUnavailable:
        widgetMessage->setMessage(
            text("auth.serviceunaviable", "Service unavailable. Try again later."),
            text("auth.tryagain", "Try again"), false, Form::LoadingPage);
        return;
    case SignInController::Failure::InactiveSubscription:
        widgetMessage->setMessage(message, text("settings.manageAccount", "Manage Account"), true,
                                  Form::LoginPage);
        return;
    case SignInController::Failure::RequestFailed:
        widgetMessage->setMessage(message, text("auth.tryagain", "Try again"), false,
                                  Form::LoginPage);
        return;
    }
}

void MainWindow::loginRequest(QString email, QString password)
{
    signIn->signIn(email, password, widgetLogin->isRememberPassword());
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

void MainWindow::brandIdResolved(QString resolvedBrandId)
{
    signIn->brandIdResolved(resolvedBrandId);
}

void MainWindow::processLogin() {}

void MainWindow::processSubscriptionStatus()
{
    signIn->subscriptionIsActive();
}

void MainWindow::processServerData(QVector<ServerData> serversData)
{
    signIn->serversReceived(serversData);
}

void MainWindow::processFavoriteServersData(QVector<int> favoriteServersIds)
{
    signIn->favouritesReceived(favoriteServersIds);
}

void MainWindow::pingDone()
{
    signIn->latencyResultsArrived();
}

void MainWindow::setCurrentServer(ServerData serverData)
{
    currentServer = serverData;
}

void MainWindow::replyErrorOccurred(ReplyError::Type errorType, QString message)
{
    signIn->replyErrorOccurred(errorType, message);
}

void MainWindow::returnFromMessage(Form form)
{
    signIn->returnFromMessage(form);
}

void MainWindow::updateJwt()
{
    signIn->renewSession();
}

void MainWindow::processLogOut()
{
    trayIcon->hide();
    widgetLogin->setCredentials(QString(), QString());
    widgetLogin->setRememberPassword(false);
    widgetMain->stopLatencyRefresh();
    networkManager->forgetSession();
    signIn->logOut();
}
