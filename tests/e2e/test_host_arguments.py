"""The command line of velmo.exe reaches the Flutter entry point as UTF-8, in
order, without the program path; an argument that is not valid UTF-16
keeps its place as an empty string."""

from host_helpers import quit_host, windows_path

LAUNCH_PROGRAM_VARIABLE = "VELMO_LAUNCH_PROGRAM"


def entry_arguments(driver):
    """The engine's entry-point arguments after the driver's own address."""
    assert driver.hello_args[0].startswith("--driver=")
    return driver.hello_args[1:]


class TestEntryPointArguments:
    def test_without_arguments_only_the_driver_address_arrives(self, start_program, bundle_dir):
        driver = start_program(bundle_dir / "velmo.exe")
        assert entry_arguments(driver) == []
        assert len(driver.hello_args) == 1

    def test_arguments_arrive_in_order_as_utf8(self, start_program, bundle_dir):
        arguments = ["--flag", "two words", "\u00e9t\u00e9", "\u8bed\u97f3", "\U0001F3A7", "", "last"]
        driver = start_program(bundle_dir / "velmo.exe", arguments)
        assert entry_arguments(driver) == arguments
        assert not any(a.lower().endswith("velmo.exe") for a in driver.hello_args)

    def test_unpaired_surrogates_become_empty_strings_in_place(
            self, start_program, bundle_dir, testbin_dir):
        # Only CreateProcessW can pass such a command line: the launcher
        # decodes \\uXXXX escapes into raw UTF-16 units.
        escaped = ["first", "\\uD83C", "a\\uDFA7b", "\\uD83C\\uDFA7", "last"]
        driver = start_program(
            testbin_dir / "launcher.exe", escaped,
            env={LAUNCH_PROGRAM_VARIABLE: windows_path(bundle_dir / "velmo.exe")},
            host_instance=True)
        assert entry_arguments(driver) == ["first", "", "", "\U0001F3A7", "last"]
        driver.wait_frame()
        # The launcher hands back velmo.exe's exit code.
        assert quit_host(driver) == 0
