"""The life cycle shared by the fixtures that run a server program (nginx, squid) from a
temporary folder of their own."""

import shutil
import subprocess


class FolderProcess:
    """A subclass's start() sets `_dir` (the folder) and `_process` (the program) and returns
    self; stop() ends the program (terminate, then kill) and removes the folder."""
    STOP_LIMIT_SECONDS = 10
    _dir = None
    _process = None

    def stop(self):
        if self._process:
            self._process.terminate()
            try:
                self._process.wait(self.STOP_LIMIT_SECONDS)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
            self._process = None
        if self._dir:
            shutil.rmtree(self._dir, ignore_errors=True)
            self._dir = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
