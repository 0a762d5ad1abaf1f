"""velmo.exe registers the client's nine plug-ins once each, in their fixed
order, before any of its own channels exists; its channels follow in their
fixed order, the window's features only once the view is in the window."""

import pytest

from host_helpers import PLUGIN_REGISTRARS, PLUGIN_REPORT_CHANNEL

# Created before the view is attached to the window, then after it.
CHANNELS_BEFORE_VIEW = ["parlora/window_style", "app/windows_ptt/methods",
                        "app/windows_ptt/events", "parlora/ai_denoise", "parlora/sidetone",
                        "parlora/mic_gain", "parlora/activity"]
CHANNELS_AFTER_VIEW = ["parlora/desktop_shell", "parlora/voice_overlay"]


@pytest.fixture
def host(start_program, bundle_dir):
    driver = start_program(bundle_dir / "velmo.exe")
    driver.wait_frame()
    return driver


class TestPluginRegistration:
    def test_each_registrar_asked_once_in_table_order(self, host):
        assert host.registrars() == PLUGIN_REGISTRARS

    def test_each_plugin_entry_point_called_once_in_order(self, host):
        reports = [s.data.decode() for s in host.sends(PLUGIN_REPORT_CHANNEL)]
        assert reports == PLUGIN_REGISTRARS
        assert all(not s.wants_reply for s in host.sends(PLUGIN_REPORT_CHANNEL))

    def test_each_plugin_gets_the_registrar_asked_for_it(self, host):
        # A plug-in reports right after its registrar was asked for, before
        # the next one is.
        sequence = [(e.kind, e.fields[0]) for e in host.events()
                    if e.kind == "registrar"
                    or (e.kind == "send" and e.fields[0] == PLUGIN_REPORT_CHANNEL)]
        expected = []
        for name in PLUGIN_REGISTRARS:
            expected += [("registrar", name), ("send", PLUGIN_REPORT_CHANNEL)]
        assert sequence == expected

    def test_plugins_come_before_any_host_channel(self, host):
        last_plugin = max(e.index for e in host.events()
                          if e.kind == "registrar"
                          or (e.kind == "send" and e.fields[0] == PLUGIN_REPORT_CHANNEL))
        handlers = host.events("handler")
        assert handlers, "the host set no channel handler"
        assert min(e.index for e in handlers) > last_plugin

    def test_host_channels_are_set_in_creation_order_around_the_view(self, host):
        view = host.wait_for("view")
        attached = host.wait_for("attached")
        handlers = [e for e in host.events("handler") if e.fields[1] == "1"]
        before = [e.fields[0] for e in handlers if e.index < attached.index]
        after = [e.fields[0] for e in handlers if e.index > attached.index]
        assert before == CHANNELS_BEFORE_VIEW
        assert after == CHANNELS_AFTER_VIEW
        assert all(e.index > view.index for e in host.events("handler"))
        # Nothing of the host's is removed while it runs.
        assert all(host.handler_set(c) for c in CHANNELS_BEFORE_VIEW + CHANNELS_AFTER_VIEW)
