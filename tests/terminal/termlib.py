"""Shared helpers for tests that run the program under Wine from the Linux side:
program directories, a tmux pane to read the screen from, and the project's
Wine environment."""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import uuid

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def parse_args():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--build-dir", required=True)
    return parser.parse_args()


def wine_env(**extra):
    env = dict(os.environ)
    env.setdefault("WINEPREFIX", os.path.join(ROOT, "build", "wineprefix"))
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    env.setdefault("LANG", "C.UTF-8")
    env.update(extra)
    return env


class ProgramDir:
    """A temporary program directory with a copy of the built program."""

    def __init__(self, exe, files=None):
        self.path = tempfile.mkdtemp(prefix="vantorel-term-")
        shutil.copy(exe, os.path.join(self.path, "vantorel.exe"))
        for name, data in (files or {}).items():
            self.write(name, data)

    def write(self, name, data):
        if isinstance(data, str):
            data = data.encode("latin-1")
        path = os.path.join(self.path, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def exists(self, name):
        return os.path.exists(os.path.join(self.path, name))

    def cleanup(self):
        shutil.rmtree(self.path, ignore_errors=True)


class Pane:
    """A detached tmux session of its own, 100x30, running one command."""

    def __init__(self, command, env, cwd, width=100, height=30):
        self.name = "vantorel-" + uuid.uuid4().hex[:8]
        env_args = []
        for key in ("WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES", "LANG", "LOCPATH"):
            if key in env:
                env_args += ["-e", f"{key}={env[key]}"]
        # The shell keeps the pane open after the program ends, so the screen
        # and the exit code can still be read.
        shell = f"cd '{cwd}' && {command}; echo \"[exit $?]\"; sleep 600"
        subprocess.run(["tmux", "new-session", "-d", "-s", self.name, "-x", str(width), "-y", str(height)]
                       + env_args + ["bash", "-c", shell], check=True)

    def screen(self, escapes=False):
        args = ["tmux", "capture-pane", "-p", "-t", self.name]
        if escapes:
            args.append("-e")
        return subprocess.run(args, check=True, capture_output=True, text=True).stdout

    def wait_for(self, text, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            screen = self.screen()
            if text in screen:
                return screen
            time.sleep(0.1)
        raise AssertionError(f"{text!r} did not appear; screen:\n{self.screen()}")

    def send(self, *keys):
        subprocess.run(["tmux", "send-keys", "-t", self.name] + list(keys), check=True)

    def close(self):
        subprocess.run(["tmux", "kill-session", "-t", self.name], capture_output=True)


class Checks:
    """Collects failures so that one run reports every broken expectation."""

    def __init__(self):
        self.failures = []
        self.count = 0

    def expect(self, condition, message):
        self.count += 1
        if not condition:
            self.failures.append(message)

    def finish(self):
        for failure in self.failures:
            print("FAILED:", failure)
        print(f"{self.count - len(self.failures)} passed, {len(self.failures)} failed")
        sys.exit(1 if self.failures else 0)
