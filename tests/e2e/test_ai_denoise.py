"""The denoising channel "parlora/ai_denoise" of velmo.exe under Wine: its
answers, and the words it leaves in app.log. The hook is disabled in this
host, so every "configure" records the settings and says so in the log."""

from __future__ import annotations

import pytest

from driver import codec
from host_helpers import app_log_path

CHANNEL = "parlora/ai_denoise"
LOG_WORDS = {"ai_denoise_configure_on", "ai_denoise_configure_off",
             "rnnoise_skipped_hook_disabled", "rnnoise_disabled_hook_disabled",
             "ai_denoise_configure_exception"}
ON = ["ai_denoise_configure_on", "rnnoise_skipped_hook_disabled"]
OFF = ["ai_denoise_configure_off", "rnnoise_disabled_hook_disabled"]


class LogTail:
    """The denoising words app.log gains from now on."""

    def __init__(self):
        self.path = app_log_path()
        self.offset = self.path.stat().st_size if self.path.exists() else 0

    def words(self) -> list[str]:
        if not self.path.exists():
            return []
        with self.path.open("rb") as log:
            log.seek(self.offset)
            text = log.read().decode("utf-8", errors="replace")
        return [word for line in text.splitlines() for word in line.split() if word in LOG_WORDS]


@pytest.fixture
def host(start_program, bundle_dir):
    driver = start_program(bundle_dir / "velmo.exe")
    driver.wait_handler(CHANNEL)
    return driver


def test_configure_answers_true_and_logs_that_the_hook_is_disabled(host):
    cases = [
        ({"enabled": True, "wet": 0.5}, ON),
        ({}, OFF),
        ({"enabled": codec.Int32(1), "wet": codec.Int32(3)}, OFF),
    ]
    log = LogTail()
    expected_words: list[str] = []
    for arguments, words in cases:
        response = host.call(CHANNEL, "configure", arguments)
        assert response.is_success and response.value is True, repr(arguments)
        expected_words += words
    assert log.words() == expected_words

