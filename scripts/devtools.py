"""Headless Chromium driven over its DevTools pipe, for the page's scripts.

    python3 scripts/devtools.py screenshot URL WIDTH HEIGHT FILE

takes a picture of URL as a phone or desktop of WIDTH x HEIGHT CSS pixels
shows it.  A headless window narrower than 500 px still lays the page out
500 px wide (and only crops the picture), so the width is set by device
emulation instead: the page sees WIDTH as a phone would.
"""
import base64
import fcntl
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time


class DevTools:
    """Chromium's DevTools protocol over --remote-debugging-pipe (fds 3, 4)."""

    def __init__(self, chromium, profile):
        to_chrome_r, self.to_chrome = os.pipe()
        self.from_chrome, from_chrome_w = os.pipe()

        def hand_over():  # in the child: Chromium reads fd 3 and writes fd 4
            reading = fcntl.fcntl(to_chrome_r, fcntl.F_DUPFD, 10)
            writing = fcntl.fcntl(from_chrome_w, fcntl.F_DUPFD, 10)
            os.dup2(reading, 3)
            os.dup2(writing, 4)

        self.process = subprocess.Popen(
            [chromium, '--headless', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage',
             '--no-first-run', f'--user-data-dir={profile}', '--remote-debugging-pipe',
             '--window-size=1280,800'],
            close_fds=False, preexec_fn=hand_over,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_chrome_r)
        os.close(from_chrome_w)
        self.buffer = b''
        self.next_id = 0
        self.session = None

    def call(self, method, **params):
        self.next_id += 1
        message = {'id': self.next_id, 'method': method, 'params': params}
        if self.session:
            message['sessionId'] = self.session
        os.write(self.to_chrome, json.dumps(message).encode() + b'\0')
        while True:
            while b'\0' not in self.buffer:
                chunk = os.read(self.from_chrome, 1 << 16)
                if not chunk:
                    raise RuntimeError('chromium closed its pipe')
                self.buffer += chunk
            raw, self.buffer = self.buffer.split(b'\0', 1)
            answer = json.loads(raw)
            if answer.get('id') == self.next_id:
                if 'error' in answer:
                    raise RuntimeError(f'{method}: {answer["error"]}')
                return answer.get('result', {})

    def evaluate(self, expression):
        return self.call('Runtime.evaluate', expression=expression,
                         returnByValue=True)['result'].get('value')

    def close(self):
        self.process.kill()
        self.process.wait()



    def open(self, url, script=None):
        """A new tab attached to this connection, with `script` run before
        any of the page's own, then loads `url`."""
        target = self.call('Target.createTarget', url='about:blank')['targetId']
        self.session = self.call('Target.attachToTarget', targetId=target,
                                 flatten=True)['sessionId']
        self.call('Page.enable')
        if script:
            self.call('Page.addScriptToEvaluateOnNewDocument', source=script)
        self.call('Page.navigate', url=url)

    def wait_for(self, expression, seconds=60):
        deadline = time.time() + seconds
        while time.time() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(0.05)
        raise RuntimeError(f'waited {seconds} s for {expression}')


def screenshot(url, width, height, file):
    profile = tempfile.mkdtemp(prefix='lifelog-shot-')
    tools = DevTools(shutil.which('chromium') or 'chromium', profile)
    try:
        tools.open('about:blank')
        tools.call('Emulation.setDeviceMetricsOverride', width=width, height=height,
                   deviceScaleFactor=1, mobile=width < 600)
        tools.call('Page.navigate', url=url)
        tools.wait_for("document.body && document.body.dataset.ready === 'true'")
        time.sleep(0.3)  # the last paint after the script finished
        shot = tools.call('Page.captureScreenshot', format='png')
        with open(file, 'wb') as out:
            out.write(base64.b64decode(shot['data']))
    finally:
        tools.close()
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == '__main__':
    if len(sys.argv) != 6 or sys.argv[1] != 'screenshot':
        sys.exit(__doc__)
    screenshot(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5])
