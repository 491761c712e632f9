"""Headless Chromium driven over its DevTools pipe (file descriptors 3 and 4,
messages of JSON ended by NUL), with Python's standard library only: load a
page, evaluate script in it, collect its errors and its requests, take a
screenshot. The browser gets a profile directory of its own and no network."""
import base64
import json
import os
import select
import signal
import shutil
import subprocess
import tempfile
import time

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--disable-extensions", "--remote-debugging-pipe"]


class Browser:
    def __init__(self, width=1366, height=900):
        self.profile = tempfile.mkdtemp(prefix="vantorel-chromium-")
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()
        # Through numbers above both, so that neither pipe end is overwritten by the other.
        shell = f'exec chromium "$@" 10<&{to_browser_r} 11>&{from_browser_w} 3<&10 4>&11 10<&- 11>&-'
        self.process = subprocess.Popen(
            ["bash", "-c", shell, "bash", *FLAGS, f"--user-data-dir={self.profile}",
             f"--window-size={width},{height}", "about:blank"],
            pass_fds=(to_browser_r, from_browser_w), stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.buffer = b""
        self.next_id = 0
        self.events = []
        try:
            target = self.call("Target.createTarget", url="about:blank")["targetId"]
            self.session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
            for domain in ("Page", "Runtime", "Log", "Network"):
                self.call(domain + ".enable", session=True)
            self.call("Emulation.setDeviceMetricsOverride", session=True, width=width, height=height,
                      deviceScaleFactor=1, mobile=False)
        except BaseException:
            self.close()  # a browser that did not come up leaves nothing behind either
            raise

    def _read_message(self, deadline):
        while b"\0" not in self.buffer:
            left = deadline - time.time()
            if left <= 0 or not select.select([self.from_browser], [], [], left)[0]:
                raise TimeoutError("the browser did not answer")
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise ConnectionError("the browser closed its pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, session=False, timeout=30, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = self.session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.time() + timeout
        while True:
            answer = self._read_message(deadline)
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise RuntimeError(f"{method}: {answer['error']}")
                return answer.get("result", {})
            if "method" in answer:
                self.events.append(answer)

    def wait_for_event(self, method, timeout=30):
        deadline = time.time() + timeout
        while True:
            for event in self.events:
                if event["method"] == method:
                    self.events.remove(event)
                    return event
            self.events.append(self._read_message(deadline))

    def open(self, path):
        """Loads a local file and waits for its load event."""
        self.call("Page.navigate", session=True, url="file://" + os.path.abspath(path))
        self.wait_for_event("Page.loadEventFired")

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", session=True, expression=expression, returnByValue=True,
                           awaitPromise=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def errors(self):
        """Uncaught exceptions, console errors and the browser's own error entries (a policy
        that blocked something, a resource that failed) seen so far."""
        self.call("Runtime.evaluate", session=True, expression="0")  # takes in the events sent so far
        found = []
        for event in self.events:
            params = event.get("params", {})
            if event["method"] == "Runtime.exceptionThrown":
                found.append(params["exceptionDetails"].get("text", "exception"))
            elif event["method"] == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
                found.append(" ".join(str(a.get("value", a.get("description"))) for a in params.get("args", [])))
            elif event["method"] == "Log.entryAdded" and params["entry"].get("level") == "error":
                found.append(params["entry"].get("text", ""))
        return found

    def requests(self):
        """The URLs the page asked for, in order."""
        return [e["params"]["request"]["url"] for e in self.events if e["method"] == "Network.requestWillBeSent"]

    def screenshot(self, path, max_height=4000):
        size = self.call("Page.getLayoutMetrics", session=True)["cssContentSize"]
        clip = {"x": 0, "y": 0, "width": size["width"], "height": min(size["height"], max_height), "scale": 1}
        data = self.call("Page.captureScreenshot", session=True, format="png", clip=clip,
                         captureBeyondViewport=True)["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def close(self):
        try:
            self.call("Browser.close", timeout=5)
        except (OSError, RuntimeError, TimeoutError, ConnectionError):
            pass  # it is ended below all the same
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            # The browser's own group: its helper processes go with it.
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        os.close(self.to_browser)
        os.close(self.from_browser)
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
