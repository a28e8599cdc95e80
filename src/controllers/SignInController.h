#pragma once

#include "types/AppStyleUtil.h"
#include "types/ReplyError.h"
#include "types/ServerData.h"

#include <QObject>
#include <QString>
#include <QVector>

class QTimer;

// Signs the member in and keeps them signed in: the brand lookup, then login, subscription,
// server list and favourites, the token's renewal, the remembered credentials and the log-out.
// It keeps the credentials the member gave; the pages only show what it decides.
class SignInController final : public QObject {
    Q_OBJECT

public:
    using Form = AppStyleUtil::ApplicationForm::Form;
    // Why the message page is shown.
    enum class Failure {
        // The brand lookup at start-up gave up: the member can try again.
        ServiceUnavailable,
        // The account has no active subscription: the member can manage it.
        InactiveSubscription,
        // A request of the chain failed: the member goes back to the login page.
        RequestFailed,
    };
    Q_ENUM(Failure)

    explicit SignInController(QObject *parent = nullptr);

    // The token renewal interval while the home page is shown.
    void setRenewalInterval(int milliseconds);
    static bool isValidEmail(const QString &email);

    // Looks the brand up: then signs in with the remembered credentials, or asks for them.
    void start();
    // The member pressed sign in.
    void signIn(const QString &email, const QString &password, bool remember);
    void logOut();
    // The message page's button: a start-up that could not reach the service tries again.
    void returnFromMessage(Form form);
    // Latency results came in: they take a signed-in member from the loading page home.
    void latencyResultsArrived();
    void renewSession();
    bool isSignedIn() const { return !loggedOut; }

    // The service's answers.
    void brandIdResolved(const QString &resolvedBrandId);
    void subscriptionIsActive();
    void serversReceived(const QVector<ServerData> &servers);
    void favouritesReceived(const QVector<int> &favoriteServerIds);
    void replyErrorOccurred(ReplyError::Type errorType, const QString &message);

signals:
    void requestBrandId(QString domain);
    void requestLoginData(QString email, QString password, QString brandId);
    void requestSubscriptionStatus();
    void requestAllServersData();
    void requestFavoriteServersData();

    void pageWanted(AppStyleUtil::ApplicationForm::Form form);
    // The member's language is needed before the sign-in would have applied it.
    void storedLanguageWanted();
    void credentialsRestored(QString email, QString password, bool remember);
    void invalidEmailGiven();
    void loginRefused(QString message);
    void loginErrorCleared();
    void failed(SignInController::Failure failure, QString message);
    // Whether the credential store refused to keep the password the member asked it to keep.
    void rememberProblem(bool problem);
    void serversArrived(QVector<ServerData> servers);
    void favouritesArrived(QVector<int> favoriteServerIds);
    // From the brand lookup (or the login) to the favourites, or the failure that ends it: a
    // block that stops everything, the client's own requests too, is lifted for the whole chain
    // and put back once it ends.
    void serviceRequestsBegin();
    void serviceRequestsEnd();

private:
    void restoreSession();
    void showPage(Form form);
    void openChain();
    void closeChain();
    void rememberCredentials();

    QTimer *renewalTimer;
    int renewalIntervalMs = 216000000;
    QString brandId;
    // What the member gave at the last sign-in; the renewal signs in with them again.
    QString email;
    QString password;
    bool remember = false;
    // Given before the brand was known: sent once it is.
    bool loginAwaitingBrand = false;
    bool loggedOut = true;
    bool loginInProgress = false;
    bool chainOpen = false;
    Form shownPage = Form::LoadingPage;
};
