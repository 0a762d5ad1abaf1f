"""Fixtures of the end-to-end tests: the Wine session, the bundle and test
program folders, and a factory of drivers that always tears down."""

from __future__ import annotations

import fcntl
import os
from pathlib import Path

import pytest

from driver import Driver, wine


# Exit status of a run in which nothing failed but something was skipped; the
# build registers it as the skip code, so that ctest reports the module as
# skipped instead of passed.
SKIPPED_EXIT_STATUS = 77


def pytest_sessionfinish(session, exitstatus):
    reporter = session.config.pluginmanager.get_plugin("terminalreporter")
    if exitstatus == 0 and reporter is not None and reporter.stats.get("skipped"):
        session.exitstatus = SKIPPED_EXIT_STATUS


def _folder(variable: str, default: str) -> Path:
    return Path(os.environ.get(variable) or wine.ROOT / default)


@pytest.fixture(scope="session")
def wine_session() -> None:
    """Xvfb, the prepared prefix and the persistent wineserver are up."""
    wine.prepare_session()


@pytest.fixture(scope="session")
def bundle_dir() -> Path:
    return _folder("VELMO_BUNDLE_DIR", "build/windows/bundle")


@pytest.fixture(scope="session")
def testbin_dir() -> Path:
    return _folder("VELMO_TESTBIN_DIR", "build/windows/testbin")


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    setattr(item, f"report_{report.when}", report)


@pytest.fixture
def start_program(wine_session, request, tmp_path):
    """start_program(exe, args=(), env=None, **driver_options) -> Driver,
    started and connected; skipped when the program is not built. Every
    program started is killed at the end of the test if it still runs."""
    drivers: list[Driver] = []
    instance_lock = None

    def start(exe, args=(), env=None, *, host_instance: bool = False, **options) -> Driver:
        nonlocal instance_lock
        exe = Path(exe)
        if not exe.is_file():
            pytest.skip(f"{exe} is not built")
        # velmo.exe keeps one instance per Wine session, so tests that start
        # it (also from parallel test processes) take turns until their
        # programs are gone.
        if (host_instance or exe.name.lower() == "velmo.exe") and instance_lock is None:
            instance_lock = open(wine.wine_environment()["WINEPREFIX"] + ".velmo-instance.lock", "w")
            fcntl.flock(instance_lock, fcntl.LOCK_EX)
        driver = Driver(exe, args, env,
                        transcript=tmp_path / f"transcript-{len(drivers)}.txt", **options)
        drivers.append(driver)
        return driver.start()

    yield start
    failed = getattr(request.node, "report_call", None)
    for driver in drivers:
        driver.close()
        if failed is not None and failed.failed:
            print(f"--- {driver.exe.name}: last protocol lines")
            print("\n".join(driver.transcript[-40:]))
            print(f"--- {driver.exe.name}: stderr")
            print(driver.stderr_text()[-4000:])
    if instance_lock is not None:
        instance_lock.close()
