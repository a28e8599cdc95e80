#include "ClientSetUp.h"
#include "controllers/SignInController.h"
#include "storage/AppSettings.h"

#include <QtTest>

namespace {

using Form = AppStyleUtil::ApplicationForm::Form;

QString pageName(Form form)
{
    switch (form) {
    case Form::LoadingPage:
        return QStringLiteral("Loading");
    case Form::MessagePage:
        return QStringLiteral("Message");
    case Form::LoginPage:
        return QStringLiteral("Login");
    case Form::MainPage:
        return QStringLiteral("Home");
    }
    return QStringLiteral("?");
}

// Everything the controller says, one line each, as the pages and the service would hear it.
class Recorder final : public QObject {
public:
    explicit Recorder(SignInController &controller)
    {
        using C = SignInController;
        connect(&controller, &C::requestBrandId, this, [this] { log << "brand?"; });
        connect(&controller, &C::requestLoginData, this,
                [this](const QString &email, const QString &password, const QString &brand) {
                    log << QStringLiteral("login %1 %2 %3").arg(email, password, brand);
                });
        connect(&controller, &C::requestAllServersData, this, [this] { log << "servers?"; });
        connect(&controller, &C::requestFavoriteServersData, this,
                [this] { log << "favourites?"; });
        connect(&controller, &C::pageWanted, this,
                [this](Form form) { log << "page " + pageName(form); });
        connect(&controller, &C::storedLanguageWanted, this, [this] { log << "language"; });
        connect(&controller, &C::credentialsRestored, this,
                [this](const QString &email, const QString &password, bool remember) {
                    log << QStringLiteral("restored '%1' '%2' %3")
                               .arg(email, password, remember ? "remember" : "forget");
                });
        connect(&controller, &C::invalidEmailGiven, this, [this] { log << "invalid e-mail"; });
        connect(&controller, &C::loginRefused, this,
                [this](const QString &message) { log << "refused " + message; });
        connect(&controller, &C::failed, this, [this](C::Failure failure, const QString &message) {
            log << QStringLiteral("failed %1 %2")
                       .arg(QLatin1String(
                                QMetaEnum::fromType<C::Failure>().valueToKey(int(failure))),
                            message);
        });
        connect(&controller, &C::serversArrived, this, [this](const QVector<ServerData> &list) {
            log << QStringLiteral("servers %1").arg(list.size());
        });
        connect(&controller, &C::favouritesArrived, this, [this](const QVector<int> &ids) {
            log << QStringLiteral("favourites %1").arg(ids.size());
        });
        connect(&controller, &C::serviceRequestsBegin, this, [this] { log << "chain open"; });
        connect(&controller, &C::serviceRequestsEnd, this, [this] { log << "chain closed"; });
    }

    QStringList log;
};

// One event for the controller, in the table's words.
void apply(SignInController &controller, const QString &step)
{
    const QStringList words = step.split(' ');
    const QString what = words.first();
    if (step == "start")
        controller.start();
    else if (what == "brand")
        controller.brandIdResolved(words.at(1));
    else if (what == "signIn")
        controller.signIn(words.at(1), words.at(2), words.value(3) == "remember");
    else if (step == "subscription active")
        controller.subscriptionIsActive();
    else if (what == "servers")
        controller.serversReceived(QVector<ServerData>(words.at(1).toInt()));
    else if (what == "favourites")
        controller.favouritesReceived(QVector<int>(words.at(1).toInt(), 1));
    else if (what == "error") {
        const ReplyError::Type type = words.at(1) == "login"          ? ReplyError::Login
                                      : words.at(1) == "subscription" ? ReplyError::Subscription
                                                                      : ReplyError::Service;
        controller.replyErrorOccurred(type, words.at(2));
    } else if (step == "latency")
        controller.latencyResultsArrived();
    else if (step == "log out")
        controller.logOut();
    else if (step == "renew")
        controller.renewSession();
    else if (what == "return")
        controller.returnFromMessage(words.at(1) == "Loading" ? Form::LoadingPage
                                                              : Form::LoginPage);
    else
        QFAIL(qPrintable("no such step: " + step));
}

} // namespace

// The sign-in's decisions, without a page: each row is what happened so far and what the
// controller says to its last event.
class TestSignInController : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void decisions_data();
    void decisions();
    void renewalRunsWhileTheHomePageIsShown();

private:
    QTemporaryDir home;
};

void TestSignInController::initTestCase()
{
    keepClientFilesUnder(home);
}

void TestSignInController::init()
{
    AppSettings::setValue(AppSettings::LastEmail, QString());
    AppSettings::setValue(AppSettings::RememberPassword, false);
    AppSettings::setValue(AppSettings::CredentialTarget, QString());
}

void TestSignInController::decisions_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("said");
    const QStringList signedIn{
        "start",     "brand b1",    "signIn m@corvane.test pw", "subscription active",
        "servers 2", "favourites 1"};
    const QStringList loggingIn = QStringList(signedIn.mid(0, 3));
    QTest::newRow("start looks the brand up")
        << QStringList{"start"} << QStringList{"page Loading", "chain open", "brand?"};
    QTest::newRow("a first start asks for the credentials")
        << QStringList{"start", "brand b1"}
        << QStringList{"language", "restored '' '' forget", "chain closed", "page Login"};
    QTest::newRow("a sign in asks the service with the brand")
        << loggingIn << QStringList{"chain open", "page Loading", "login m@corvane.test pw b1"};
    QTest::newRow("a sign in before the brand is known waits for it")
        << QStringList{"start", "signIn m@corvane.test pw", "brand b1"}
        << QStringList{"login m@corvane.test pw b1"};
    QTest::newRow("an address that is none never reaches the service")
        << QStringList{"start", "brand b1", "signIn nobody pw"}
        << QStringList{"page Login", "invalid e-mail"};
    QTest::newRow("an active subscription loads the servers")
        << QStringList(signedIn.mid(0, 4)) << QStringList{"page Loading", "servers?"};
    QTest::newRow("the servers show the home page, then the favourites are asked for")
        << QStringList(signedIn.mid(0, 5)) << QStringList{"servers 2", "favourites?", "page Home"};
    QTest::newRow("the favourites end the chain")
        << signedIn << QStringList{"chain closed", "favourites 1"};
    QTest::newRow("a wrong password goes back to the login page")
        << loggingIn + QStringList{"error login Wrong"}
        << QStringList{"chain closed", "page Login", "refused Wrong"};
    QTest::newRow("an inactive subscription offers to manage it")
        << loggingIn + QStringList{"error subscription Inactive"}
        << QStringList{"chain closed", "failed InactiveSubscription Inactive", "page Message"};
    QTest::newRow("a failed request of the chain offers to try again")
        << QStringList(signedIn.mid(0, 4)) + QStringList{"error service Down"}
        << QStringList{"chain closed", "failed RequestFailed Down", "page Message"};
    QTest::newRow("a brand lookup that gives up at start-up is said in the member's language")
        << QStringList{"start", "error service Down"}
        << QStringList{"chain closed", "language", "failed ServiceUnavailable Down",
                       "page Message"};
    QTest::newRow("trying again looks the brand up again")
        << QStringList{"start", "error service Down", "return Loading"}
        << QStringList{"page Loading", "chain open", "brand?"};
    QTest::newRow("latency results take a signed-in member home from the loading page")
        << QStringList(signedIn.mid(0, 4)) + QStringList{"latency"} << QStringList{"page Home"};
    QTest::newRow("latency results never close the page shown")
        << signedIn + QStringList{"latency"} << QStringList{};
    QTest::newRow("the renewal signs in with the credentials given")
        << signedIn + QStringList{"renew"}
        << QStringList{"chain open", "login m@corvane.test pw b1"};
    QTest::newRow("a log-out shows the login page")
        << signedIn + QStringList{"log out"} << QStringList{"page Login"};
    QTest::newRow("a log-out during the chain closes it")
        << QStringList(signedIn.mid(0, 4)) + QStringList{"log out"}
        << QStringList{"chain closed", "page Login"};
    QTest::newRow("no renewal after a log-out")
        << signedIn + QStringList{"log out", "renew"} << QStringList{};
    QTest::newRow("no home page for a late latency result after a log-out")
        << signedIn + QStringList{"log out", "latency"} << QStringList{};
    QTest::newRow("a late server list after a log-out shows nothing")
        << QStringList(signedIn.mid(0, 4)) + QStringList{"log out", "servers 2"} << QStringList{};
    QTest::newRow("a late failure after a log-out says nothing")
        << signedIn + QStringList{"log out", "error service Down"} << QStringList{};
}

void TestSignInController::decisions()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, said);
    SignInController controller;
    Recorder recorder(controller);
    for (const QString &step : steps) {
        recorder.log.clear();
        apply(controller, step);
    }
    QCOMPARE(recorder.log, said);
}

void TestSignInController::renewalRunsWhileTheHomePageIsShown()
{
    SignInController controller;
    controller.setRenewalInterval(50);
    Recorder recorder(controller);
    for (const char *step : {"start", "brand b1", "signIn m@corvane.test pw", "subscription active",
                             "servers 2", "favourites 1"})
        apply(controller, step);
    recorder.log.clear();
    QTRY_VERIFY_WITH_TIMEOUT(recorder.log.contains("login m@corvane.test pw b1"), 5000);
    apply(controller, "error service Down");
    recorder.log.clear();
    QTest::qWait(200);
    QVERIFY(!recorder.log.contains("login m@corvane.test pw b1"));
}

QTEST_GUILESS_MAIN(TestSignInController)
#include "TestSignInController.moc"
