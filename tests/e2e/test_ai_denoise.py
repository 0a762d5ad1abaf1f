"""The denoising channel "parlora/ai_denoise" of velmo.exe under Wine: its
answers, and the words it leaves in app.log (the hook is disabled here)."""

from __future__ import annotations

from host_helpers import app_log_lines

CHANNEL = "parlora/ai_denoise"
LOG_WORDS = {"ai_denoise_configure_on", "ai_denoise_configure_off",
             "rnnoise_skipped_hook_disabled", "rnnoise_disabled_hook_disabled",
             "ai_denoise_configure_exception"}
ON = ["ai_denoise_configure_on", "rnnoise_skipped_hook_disabled"]
OFF = ["ai_denoise_configure_off", "rnnoise_disabled_hook_disabled"]


def test_configure_answers_true_and_logs_that_the_hook_is_disabled(start_program, bundle_dir):
    host = start_program(bundle_dir / "velmo.exe")
    host.wait_handler(CHANNEL)
    # The log ends with a line break: its last, empty element is where new
    # lines begin.
    start = len(app_log_lines()) - 1
    for arguments in ({"enabled": True, "wet": 0.5}, {}):
        response = host.call(CHANNEL, "configure", arguments)
        assert response.is_success and response.value is True, repr(arguments)
    logged = [word for line in app_log_lines()[max(start, 0):] for word in line.split()
              if word in LOG_WORDS]
    assert logged == ON + OFF
