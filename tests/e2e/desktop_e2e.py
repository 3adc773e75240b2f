#!/usr/bin/python3
"""The built program on Xvfb with trayer and the test FTP server, driven only from outside:
controls found over AT-SPI, input through xdotool, a screenshot per step into --shots."""

import argparse
import datetime
import os
import shutil
import subprocess
import tempfile
import time
import zipfile

STEP_WAIT = 20  # seconds a step may take before the test fails
USER, PASSWORD = "vestrel", "E2e-Pass-3"


class Failure(Exception):
    pass


def wait_for(what, condition, timeout=STEP_WAIT, pump=None):
    deadline = time.monotonic() + timeout
    last_error = ""
    while True:
        pump and pump()
        try:
            result = condition()
        except Exception as error:  # a control went away while it was read: look again
            result, last_error = None, " (last: %s)" % error
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what + last_error)
        time.sleep(0.05)


class Desktop:
    def __init__(self, home, shots):
        self.shots = shots
        self.processes = []
        self.step = 0
        runtime = os.path.join(home, "runtime")
        os.mkdir(runtime, 0o700)
        os.environ.update(HOME=home, XDG_RUNTIME_DIR=runtime,
                          XDG_CONFIG_HOME=os.path.join(home, "config"),
                          XDG_CACHE_HOME=os.path.join(home, "cache"),
                          LC_ALL="C.UTF-8", LANG="C.UTF-8")
        for name in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "SESSION_MANAGER", "XDG_DATA_HOME"):
            os.environ.pop(name, None)
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
        self.tray = None
        wait_for("the tray host", self.start_tray)

    def start_tray(self):
        # trayer now and then cannot open a display that was just started: start it again.
        if self.tray is None or self.tray.poll() is not None:
            self.tray = self.spawn(["trayer", "--SetDockType", "true", "--align", "right",
                                    "--height", "24", "--expand", "true"],
                                   stderr=subprocess.DEVNULL)
        return self.panel()

    def spawn(self, argv, **kwargs):
        process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, **kwargs)
        self.processes.append(process)
        return process

    def close(self):
        for process in reversed(self.processes):
            process.terminate()  # does nothing to one that has ended
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()

    @staticmethod
    def tool(*argv):
        done = subprocess.run(argv, capture_output=True, text=True, timeout=30)
        return done.stdout.strip()

    def panel(self):
        return self.tool("xdotool", "search", "--onlyvisible", "--classname", "^panel$") \
            .split("\n")[0]

    def tray_icons(self, window_class):
        tree = self.tool("xwininfo", "-tree", "-id", self.panel())
        return [line.split()[0] for line in tree.split("\n")
                if '("%s" ' % window_class in line]

    def keys(self, *keys):
        self.tool("xdotool", "key", "--delay", "40", *keys)

    def shot(self, name):
        self.step += 1
        path = os.path.join(self.shots, "%02d-%s.png" % (self.step, name))
        self.tool("import", "-window", "root", path)
        print("screenshot", path, flush=True)


class Accessible:
    def __init__(self):
        import pyatspi  # only once the session bus of the test is in the environment
        from gi.repository import GLib
        self.at = pyatspi
        self.pid = None
        self.context = GLib.MainContext.default()
        self.popups = []
        pyatspi.Registry.registerEventListener(self.on_showing, "object:state-changed:showing")

    def pump(self):
        while self.context.iteration(False):
            pass

    def on_showing(self, event):
        # Popup menus are not children of the application: they are caught as they show.
        if event.detail1 and event.source.getRoleName() == "popup menu":
            self.popups.append(event.source)

    def app(self):
        for app in self.at.Registry.getDesktop(0):
            try:
                if app is not None and app.get_process_id() == self.pid:
                    return app
            except Exception:
                continue
        return None

    def state(self, state, node):
        return node.getState().contains(getattr(self.at, "STATE_" + state))

    def showing(self, node):
        return self.state("SHOWING", node)

    def window(self, caption):
        return next((w for w in self.app() or [] if w is not None and w.name == caption
                     and self.showing(w)), None)

    def walk(self, root):
        for child in root or []:
            if child is not None:
                yield child
                yield from self.walk(child)

    def find(self, root, role, name=None):
        return next((c for c in self.walk(root) if c.getRoleName() == role and
                     (name is None or c.name == name) and self.showing(c)), None)

    def find_all(self, root, role):
        return [c for c in self.walk(root) if c.getRoleName() == role]

    def press(self, control):  # a button's first action is Press, a check box's Toggle
        control.queryAction().doAction(0)


class Run:
    def __init__(self, args, home):
        self.args = args
        self.home = home
        self.folder = os.path.join(home, "program")
        os.mkdir(self.folder)
        self.exe = os.path.join(self.folder, "vestrel")
        shutil.copy2(args.program, self.exe)
        # What the session packs: a file and a folder with a file in it.
        self.data = os.path.join(home, "data")
        os.makedirs(os.path.join(self.data, "photos"))
        for name, content in (("notes.txt", b"notes to keep\n"),
                              ("photos/beach.jpg", os.urandom(4096))):
            with open(os.path.join(self.data, name), "wb") as f:
                f.write(content)
        os.makedirs(args.shots, exist_ok=True)

    def start_ftp(self, desktop):
        self.ftp_home = os.path.join(self.home, "ftp")
        os.mkdir(self.ftp_home)
        server = desktop.spawn(
            ["/usr/bin/python3", os.path.join(self.args.source, "tests/support/ftp_server.py"),
             "--home", self.ftp_home, "--user", USER, "--password", PASSWORD, "--port", "0",
             "--command-log", os.path.join(self.home, "ftp-commands")],
            stdout=subprocess.PIPE)
        self.ftp_port = int(server.stdout.readline().decode().strip())

    def open_menu(self):
        icons = self.desktop.tray_icons("vestrel")
        if len(icons) != 1:
            raise Failure("expected one tray icon, found %d" % len(icons))
        before = len(self.ui.popups)
        self.desktop.tool("xdotool", "mousemove", "--window", icons[0], "8", "8", "click", "1")
        menu = wait_for("the tray menu", lambda: len(self.ui.popups) > before and
                        self.ui.showing(self.ui.popups[-1]) and self.ui.popups[-1],
                        pump=self.ui.pump)
        items = [item.name for item in menu if item is not None]
        if items != ["Open", "FTP Browser", "Options", "History", "Restore", "Exit"]:
            raise Failure("the tray menu holds %s" % items)
        return menu

    def choose(self, caption):
        menu = self.open_menu()
        # The pointer would make the item under it current: move it off the menu first.
        self.desktop.tool("xdotool", "mousemove", "640", "300")
        index = [item.name for item in menu].index(caption)
        for _ in range(index + 1):
            self.desktop.keys("Down")
        wait_for("the menu item " + caption, lambda: self.ui.state("FOCUSED", menu[index]))
        self.desktop.shot("menu-" + caption.lower().replace(" ", "-"))
        self.desktop.keys("Return")

    def click(self, control):
        x, y, w, h = control.queryComponent().getExtents(0)  # desktop coordinates
        self.desktop.tool("xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1")

    def fill(self, control, text, secret=False):
        control.queryComponent().grabFocus()
        try:
            wait_for("the focus in " + control.name,
                     lambda: self.ui.state("FOCUSED", control), timeout=3)
        except Failure:
            # Without a window manager a closed dialog leaves no window active: click, as a
            # user would.
            self.click(control)
            wait_for("the focus in " + control.name, lambda: self.ui.state("FOCUSED", control))
        self.desktop.keys("ctrl+a")
        self.desktop.tool("xdotool", "type", "--delay", "20", text)
        # A password box tells only how many characters it holds.
        wait_for("the text %r in %s" % (text, control.name), lambda: (
            control.queryText().characterCount == len(text) if secret
            else control.queryText().getText(0, -1) == text))

    def pick_path(self, button, title, path):
        self.ui.press(button)
        dialog = wait_for("the dialog " + title, lambda: self.ui.window(title))
        name_box = wait_for("the file name box", lambda: self.ui.find(dialog, "text"))
        # The box keeps the last one typed as it opens: type the full path over it.
        self.fill(name_box, path)
        self.desktop.shot(title.lower().replace(" ", "-"))
        self.desktop.keys("Return")
        wait_for("the dialog %s to close" % title, lambda: not self.ui.showing(dialog))

    def run(self):
        self.desktop = Desktop(self.home, self.args.shots)
        try:
            self.start_ftp(self.desktop)
            env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
            self.errors = open(os.path.join(self.home, "stderr"), "w+")
            # Listening before the program starts: it learns at start-up which events are heard.
            self.ui = Accessible()
            self.program = self.desktop.spawn([self.exe], env=env, stderr=self.errors)
            self.ui.pid = self.program.pid
            self.steps()
        except Exception:
            self.desktop.shot("failure")
            self.errors.seek(0)
            print("program's standard error:\n" + self.errors.read(), flush=True)
            raise
        finally:
            self.desktop.close()

    def steps(self):
        d, ui = self.desktop, self.ui
        wait_for("the tray icon", lambda: len(d.tray_icons("vestrel")) == 1)
        wait_for("the program on the accessibility bus", ui.app)
        d.shot("tray")

        self.choose("Open")
        editor = wait_for("the session editor", lambda: ui.window("Vestrel"))
        d.shot("editor")
        self.edit_session(editor)

        self.choose("Options")
        options = wait_for("the options dialog", lambda: ui.window("Vestrel Options"))
        self.set_upload(options)

        events = wait_for("the event window", lambda: ui.window("Vestrel Events"),
                          timeout=(self.due - datetime.datetime.now()).total_seconds() + 30)
        expected = ["Connection succesful", "File transfer succesfully", "deleted"]
        wait_for("the three lines of the run's log", lambda: self.log_lines(events, expected))
        box = wait_for("the completion message",
                       lambda: self.message_box("Vestrel Session Complete!"))
        d.shot("event-window-and-message")
        first = self.check_archive()
        ui.press(ui.find(box, "push button", "OK"))
        wait_for("the message to close", lambda: not ui.showing(box))
        d.shot("after-run")

        # Keep is 2: after two more runs the first run's archive is gone from the server.
        for _ in range(2):
            self.run_now(editor, "Vestrel Session Complete!")
        kept = self.server_archives()
        if len(kept) != 2 or first in kept:
            raise Failure("after three runs with Keep 2 the server holds %s" % kept)
        self.restore_one_file(sorted(kept)[-1])

        # A refused log-on fails the next run, and the history and the tray tell it.
        self.choose("Options")
        options = wait_for("the options dialog", lambda: ui.window("Vestrel Options"))
        self.fill(ui.find(options, "password text", "Password"), "wrong", secret=True)
        ui.press(ui.find(options, "push button", "Save"))
        wait_for("the options dialog to close", lambda: not ui.window("Vestrel Options"))
        if self.tray_marked():
            raise Failure("the tray icon is marked before any run failed")
        self.run_now(editor, "Vestrel Session Failed! See the log.")
        wait_for("the red mark on the tray icon", self.tray_marked)
        self.check_tooltip()
        self.check_history()
        wait_for("the red mark gone once the history was seen", lambda: not self.tray_marked())

        self.choose("Exit")
        wait_for("the program to end", lambda: self.program.poll() is not None)
        wait_for("the tray icon to go", lambda: not d.tray_icons("vestrel"))
        d.shot("after-exit")
        if self.program.returncode != 0:
            raise Failure("the program ended with %d" % self.program.returncode)

    def edit_session(self, editor):
        d, ui = self.desktop, self.ui
        sessions = wait_for("the session list", lambda: ui.find(editor, "list"))
        rows = sessions.childCount
        # First, while no dialog has taken the activation from the editor (no window manager).
        self.add_and_delete(editor, sessions, rows)
        ui.press(ui.find(editor, "push button", "Add"))
        wait_for("a new session in the list", lambda: sessions.childCount == rows + 1)

        # The coming minute, or the one after when too little of this one is left to finish
        # the editing and the options first.
        now = datetime.datetime.now()
        due = (now + datetime.timedelta(minutes=1)).replace(second=0, microsecond=0)
        if (due - now).total_seconds() < 40:
            due += datetime.timedelta(minutes=1)
        self.due = due
        self.fill(ui.find(editor, "text", "Title"), "Holiday photos")
        self.fill(ui.find(editor, "text", "Date"), due.strftime("%Y-%m-%d"))
        self.fill(ui.find(editor, "text", "Time"), due.strftime("%H:%M"))
        d.keys("Tab")
        self.fill(ui.find(editor, "spin button", "Keep the last N archives"), "2")

        files = ui.find(editor, "list", "Files")
        self.pick_path(ui.find(editor, "push button", "Add File"), "Select file",
                       os.path.join(self.data, "notes.txt"))
        wait_for("the file in the list", lambda: files.childCount == 1)
        self.pick_path(ui.find(editor, "push button", "Add Folder"), "Select folder",
                       os.path.join(self.data, "photos"))
        wait_for("the folder in the list", lambda: files.childCount == 2)
        d.shot("editor-session")

        ui.press(ui.find(editor, "push button", "Save Changes"))
        next_time = "Next time: " + due.strftime("%d %b %Y - %H:%M")
        wait_for("the saved session's next time", lambda: self.label_starting(editor, next_time))
        d.shot("editor-saved")

    def add_and_delete(self, editor, sessions, rows):
        d, ui = self.desktop, self.ui
        ui.press(ui.find(editor, "push button", "Add"))
        wait_for("a second session in the list", lambda: sessions.childCount == rows + 1)
        self.fill(ui.find(editor, "text", "Title"), "Scratch")
        ui.press(ui.find(editor, "push button", "Save Changes"))
        # A click on the row gives the list the focus as a user would; the key follows.
        question = 'Delete the session "Scratch" and its file list?'

        def ask():
            self.click(sessions[0])
            d.keys("Delete")
            return wait_for("the delete question", lambda: self.message_box(question), timeout=5)
        try:
            box = ask()
        except Failure:
            box = ask()  # a click that came before the window was ready
        d.shot("editor-delete-question")
        ui.press(ui.find(box, "push button", "&Yes") or ui.find(box, "push button", "Yes"))
        wait_for("the session gone", lambda: sessions.childCount == rows)

    def label_starting(self, root, text):
        return next((label.name for label in self.ui.find_all(root, "label")
                     if label.name.startswith(text)), None)

    def set_upload(self, options):
        d, ui = self.desktop, self.ui
        self.fill(ui.find(options, "text", "FTP IP"), "127.0.0.1")
        self.fill(ui.find(options, "text", "Port"), str(self.ftp_port))
        self.fill(ui.find(options, "text", "User"), USER)
        self.fill(ui.find(options, "password text", "Password"), PASSWORD, secret=True)
        switch = ui.find(options, "check box")
        if not ui.state("CHECKED", switch):
            ui.press(switch)
        wait_for("the upload switch on", lambda: ui.state("CHECKED", switch))
        d.shot("options")
        ui.press(ui.find(options, "push button", "Save"))
        wait_for("the options dialog to close", lambda: not ui.window("Vestrel Options"))

    def log_lines(self, events, expected):
        lines = [item.name for item in self.ui.find_all(events, "table cell")
                 + self.ui.find_all(events, "list item") if item.name]
        return all(any(word in line for line in lines) for word in expected)

    def message_box(self, text):
        return next((w for w in self.ui.app() or [] if w is not None and w.name == "Vestrel"
                     and self.ui.showing(w) and self.label_starting(w, text)), None)

    @staticmethod
    def zips(folder):
        return [name for name in os.listdir(folder) if name.endswith(".zip")]

    def server_archives(self):
        return self.zips(self.ftp_home)

    def check_archive(self):
        if len(self.server_archives()) != 1:
            raise Failure("the server holds %s" % os.listdir(self.ftp_home))
        name = self.server_archives()[0]
        with zipfile.ZipFile(os.path.join(self.ftp_home, name)) as archive:
            names = archive.namelist()
        if not all(any(n.endswith(end) for n in names)
                   for end in ("notes.txt", "photos/beach.jpg")):
            raise Failure("the archive holds %s" % names)
        # The program made its database and the default store in the user's folders.
        store = os.path.join(self.home, "Backups", "Vestrel")
        if self.zips(store) or not os.path.isfile(
                os.path.join(self.home, ".local", "share", "vestrel", "vestrel.mdb")):
            raise Failure("the store holds %s" % os.listdir(store))
        return name

    def run_now(self, editor, message):
        ui = self.ui
        ui.press(ui.find(editor, "push button", "Run Now"))
        box = wait_for("the message " + message, lambda: self.message_box(message))
        self.desktop.shot("run-now-" + message.split()[2].strip("!").lower())
        ui.press(ui.find(box, "push button", "OK"))
        wait_for("the message to close", lambda: not ui.showing(box))

    def restore_one_file(self, archive):
        d, ui = self.desktop, self.ui
        self.choose("Restore")
        window = wait_for("the restore window", lambda: ui.window("Vestrel Restore"))
        # A cell has no children, so it is false: the conditions hand it over in a list.
        listed = wait_for("the archive in the list", lambda: [
            c for c in ui.find_all(window, "table cell") if c.name == archive])[0]
        self.click(listed)
        d.keys("Return")  # opens it: only the server holds it, so it is downloaded first
        notes = wait_for("notes.txt among the entries", lambda: [
            c for c in ui.find_all(window, "table cell") if c.name == "notes.txt"
            and ui.showing(c)])[0]
        self.click(notes)
        d.keys("space")
        wait_for("notes.txt ticked", lambda: ui.state("CHECKED", notes))
        target = os.path.join(self.home, "restored")
        self.fill(ui.find(window, "text", "Restore to:"), target)
        ui.press(ui.find(window, "push button", "Restore"))

        def restored():
            for folder, _, files in os.walk(target):
                if "notes.txt" in files:
                    return os.path.join(folder, "notes.txt")
            return None
        path = wait_for("the restored file", restored)
        wait_for("the restore's log line", lambda: any(
            c.name.startswith("Restored 1 of 1") for c in ui.find_all(window, "table cell")))
        self.shot_window("restore-window", window)
        with open(path, "rb") as got, open(os.path.join(self.data, "notes.txt"), "rb") as kept:
            if got.read() != kept.read():
                raise Failure("the restored notes.txt differs from the original")
        ui.press(ui.find(window, "push button", "Close"))
        wait_for("the restore window to close", lambda: not ui.window("Vestrel Restore"))

    def check_tooltip(self):
        icon = self.desktop.tray_icons("vestrel")[0]
        self.desktop.tool("xdotool", "mousemove", "--window", icon, "8", "8")

        def tip():
            for w in self.ui.app() or []:
                if w is not None and w.getRoleName() == "tool tip" and self.ui.showing(w):
                    return w.name or " ".join(c.name for c in self.ui.walk(w))
            return None
        text = wait_for("the tray's tooltip", tip)
        self.desktop.shot("tray-tooltip")
        if "Holiday photos" not in text or "failed" not in text:
            raise Failure("the tray's tooltip reads %r" % text)
        self.desktop.tool("xdotool", "mousemove", "640", "300")

    def check_history(self):
        ui = self.ui
        self.choose("History")
        window = wait_for("the history window", lambda: ui.window("Vestrel History"))
        runs = ui.find(window, "tree", "Runs").queryTable()
        # Four runs of the session and the restore, which names the session it restored from.
        wait_for("five runs in the history", lambda: runs.nRows == 5)
        sessions = [runs.getAccessibleAt(row, 1).name for row in range(5)]
        if sessions != ["Holiday photos"] * 5:
            raise Failure("the history's runs name the sessions %s" % sessions)
        outcomes = [runs.getAccessibleAt(row, 2) for row in (0, 2)]
        words = [cell.name for cell in outcomes]
        if not words[0].startswith("failed") or not words[1].startswith("ok"):
            raise Failure("the newest runs' outcomes read %s" % words)
        self.shot_window("history-window", window)
        marks = [self.icon_colour(cell) for cell in outcomes]
        if marks != ["red", "green"]:
            raise Failure("the outcome icons look %s" % marks)
        ui.press(ui.find(window, "push button", "Close"))
        wait_for("the history window to close", lambda: not ui.window("Vestrel History"))

    def icon_colour(self, cell):
        """Which of the cross (red) and the check mark (green) the cell's icon is."""
        x, y, w, h = cell.queryComponent().getExtents(0)
        pixels = self.desktop.tool("import", "-window", "root", "-crop",
                                   "%dx%d+%d+%d" % (24, h, x, y), "-depth", "8", "txt:-")
        red, green = self.count_colours(pixels)
        return "red" if red > green and red > 5 else "green" if green > 5 else \
            "none (%d red, %d green at %d,%d)" % (red, green, x, y)

    @staticmethod
    def count_colours(pixels):
        red = green = 0
        for line in pixels.split("\n")[1:]:
            r, g, b = (int(v) for v in line.split("(")[1].split(")")[0].split(",")[:3])
            # A selected row's icon is tinted with the selection's blue.
            red += r > g + 60 and r > b + 60
            green += g > r + 40 and g > b + 20
        return red, green

    def tray_marked(self):
        """Whether the tray icon carries the red mark of a failure not yet seen."""
        info = self.desktop.tool("xwininfo", "-id", self.desktop.tray_icons("vestrel")[0])
        field = dict(line.strip().split(": ", 1) for line in info.split("\n") if ": " in line)
        # From the screen: the icon's own window has no content of its own to take.
        crop = "%sx%s+%s+%s" % (field["Width"], field["Height"], field["Absolute upper-left X"],
                                field["Absolute upper-left Y"])
        pixels = self.desktop.tool("import", "-window", "root", "-crop", crop, "-depth", "8",
                                   "txt:-")
        return self.count_colours(pixels)[0] > 3

    def shot_window(self, name, window):
        x, y, w, h = window.queryComponent().getExtents(0)
        self.desktop.step += 1
        path = os.path.join(self.desktop.shots, "%02d-%s.png" % (self.desktop.step, name))
        self.desktop.tool("import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y),
                          path)
        print("screenshot", path, flush=True)


def main():
    parser = argparse.ArgumentParser()
    for name in ("--program", "--source", "--shots"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as home:
        Run(args, home).run()
    print("PASS")


if __name__ == "__main__":
    main()
