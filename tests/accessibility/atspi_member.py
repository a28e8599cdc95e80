#!/usr/bin/python3
"""A member who uses a screen reader: drives the real client through AT-SPI alone, as Orca reads
it, never by object name or coordinates. Signs in by the fields' accessible names, connects and
hears the connect button's new name and the new state, toggles the kill switch and reads its
state, opens the servers page and chooses a location row by its name, and logs out.

Runs inside a private X server, D-Bus session and demo service (CTest wraps it in with-xvfb,
with-demo-service and dbus-run-session); starts the client with the fake tunnel tools on PATH.

Usage: atspi_member.py CLIENT FAKE_BIN_DIR LANGUAGE   (LANGUAGE: English or French)
"""
import os
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

TIMEOUT = float(os.environ.get("CORVANE_ATSPI_TIMEOUT", "60"))

# What the member hears, in each language the test runs in: the catalogues' own texts.
TEXTS = {
    "English": {"email": "Email Address", "password": "Password", "login": "LOGIN",
                "connect": "Connect", "disconnect": "Disconnect",
                "killswitch": "Internet Kill Switch", "settings": "Settings", "signout": "SIGN OUT",
                "servers": "Servers", "locations": "Locations", "choose": "Choose",
                "protected": "Protected", "code": 0},
    "French": {"email": "Adresse e-mail", "password": "Mot de passe", "login": "CONNEXION",
               "connect": "Connecter", "disconnect": "Déconnecter",
               "killswitch": "Coupure Internet d'urgence", "settings": "Paramètres",
               "signout": "SE DÉCONNECTER", "servers": "Serveurs", "locations": "Emplacements",
               "choose": "Choisir", "protected": "Protégé", "code": 5},
}


class Failure(Exception):
    pass


def wait_for(what, condition, timeout=TIMEOUT):
    """Runs the GLib main loop (which delivers AT-SPI events) until condition() holds."""
    deadline = time.monotonic() + timeout
    context = GLib.MainContext.default()
    while time.monotonic() < deadline:
        result = condition()
        if result:
            return result
        while context.pending():
            context.iteration(False)
        time.sleep(0.05)
    raise Failure(f"timed out waiting for {what}")


def walk(node):
    try:
        count = node.childCount
    except Exception:
        return
    yield node
    for index in range(count):
        try:
            child = node.getChildAtIndex(index)
        except Exception:
            continue
        if child is not None:
            yield from walk(child)


def shown(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def find(application, role, name, must_show=True):
    for node in walk(application):
        try:
            if node.getRoleName() == role and node.name == name and (not must_show or shown(node)):
                return node
        except Exception:
            continue
    return None


def client_application():
    desktop = pyatspi.Registry.getDesktop(0)
    for application in desktop:
        if application is not None and application.name == "corvane":
            return application
    return None


def press(node):
    action = node.queryAction()
    for index in range(action.nActions):
        if action.getName(index) in ("Press", "press", "Toggle", "toggle", "click"):
            action.doAction(index)
            return
    action.doAction(0)


def act(node, spoken):
    """Runs the action a screen reader offers under the name spoken, in the member's language."""
    action = node.queryAction()
    names = [action.getName(index) for index in range(action.nActions)]
    if spoken in names:
        action.doAction(names.index(spoken))
        return
    raise Failure(f"no action {spoken!r} on {node.name!r}; it offers {names}")


def row_named(application, list_name, starts_with):
    rows = find(application, "list", list_name)
    if rows is None:
        return None
    for index in range(rows.childCount):
        row = rows.getChildAtIndex(index)
        if row is not None and row.name.startswith(starts_with):
            return row
    return None


def checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)


def start_client(client, fakes, texts, home):
    config = os.path.join(home, "config", "Ostrel Limited")
    os.makedirs(config)
    with open(os.path.join(config, "Corvane.conf"), "w") as file:
        file.write(f"[data2]\n0={texts['code']}\n")
    # The tunnel reports traffic, so that it stays up while the test reads the page.
    environment = dict(os.environ, PATH=fakes, FAKE_LOG=os.path.join(home, "calls.log"),
                       FAKE_WG_STDOUT="peer\t4096\t1024\n", FAKE_PING_STDOUT="",
                       XDG_CONFIG_HOME=os.path.join(home, "config"),
                       XDG_DATA_HOME=os.path.join(home, "data"),
                       XDG_STATE_HOME=os.path.join(home, "state"), XDG_RUNTIME_DIR=home,
                       # The single-instance guard lives under the temporary folder: a client
                       # another test runs meanwhile is not this one's first copy.
                       TMPDIR=home,
                       QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    return subprocess.Popen([client], env=environment, stdout=subprocess.DEVNULL,
                            stderr=open(os.path.join(home, "client.log"), "w"))


def window_shows(title):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"],
                           capture_output=True, text=True)
    return found.returncode == 0 and found.stdout.strip()


def main():
    if len(sys.argv) != 4 or sys.argv[3] not in TEXTS:
        sys.exit(__doc__)
    client, fakes, language = sys.argv[1:]
    texts = TEXTS[language]
    home = tempfile.mkdtemp(prefix="corvane-atspi-")
    process = start_client(client, fakes, texts, home)
    heard = []
    try:
        # Qt joins the accessibility bus when the bus appears after its bridge is up, as it
        # does when a screen reader starts on a running desktop.
        wait_for("the client's window", lambda: window_shows("Corvane"))
        subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                        "/org/a11y/bus", "org.a11y.Bus.GetAddress"], check=True,
                       stdout=subprocess.DEVNULL)
        application = wait_for("the client on the accessibility bus", client_application)

        email = wait_for("the e-mail field", lambda: find(application, "text", texts["email"]))
        password = find(application, "password text", texts["password"])
        if password is None:
            raise Failure("no password field named " + texts["password"])
        email.queryEditableText().setTextContents("demo@corvane.test")
        password.queryEditableText().setTextContents("demo-password")
        press(wait_for("the login button", lambda: find(application, "push button",
                                                        texts["login"])))

        connect = wait_for("the connect button",
                           lambda: find(application, "push button", texts["connect"]))
        # What a screen reader hears: the new name, announced by an event.
        pyatspi.Registry.registerEventListener(
            lambda event: heard.append((str(event.any_data), event.source.name)),
            "object:property-change:accessible-name")
        press(connect)
        wait_for("the connect button's new name",
                 lambda: connect.name == texts["disconnect"], timeout=TIMEOUT)
        wait_for("the name change announced",
                 lambda: any(texts["disconnect"] in announced for announced in heard))
        # The pill's new state is announced as well: a label whose text is the state.
        wait_for("the state announced", lambda: ("[label | %s]" % texts["protected"],
                                                 texts["protected"]) in heard)

        kill_switch = wait_for("the kill switch",
                               lambda: find(application, "check box", texts["killswitch"]))
        before = checked(kill_switch)
        press(kill_switch)
        wait_for("the kill switch's new state", lambda: checked(kill_switch) != before)

        # A location row, found by what it says, and chosen: the home page names it after.
        press(find(application, "push button", texts["servers"]))
        row = wait_for("the Netherlands row",
                       lambda: row_named(application, texts["locations"], "Netherlands, "))
        act(row, texts["choose"])
        wait_for("the home page naming the location chosen",
                 lambda: find(application, "label", "Amsterdam"))
        wait_for("the connection at the new location",
                 lambda: connect.name == texts["disconnect"])

        # Signing out is on the settings page.
        press(find(application, "push button", texts["settings"]))
        press(wait_for("the sign-out button",
                       lambda: find(application, "push button", texts["signout"])))
        wait_for("the login page again", lambda: find(application, "text", texts["email"]))
    except Failure as failure:
        print(f"atspi_member ({language}): {failure}", file=sys.stderr)
        print(f"  names announced: {heard[:20]}", file=sys.stderr)
        application = client_application()
        for node in walk(application) if application else []:
            try:
                print(f"  [{node.getRoleName()}] {node.name!r} showing={shown(node)}",
                      file=sys.stderr)
            except Exception:
                pass
        with open(os.path.join(home, "client.log")) as log:
            sys.stderr.write(log.read()[-4000:])
        return 1
    finally:
        process.terminate()
        try:
            process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            process.kill()
    print(f"atspi_member ({language}): signed in, connected, heard it, switched, logged out")
    return 0


if __name__ == "__main__":
    sys.exit(main())
