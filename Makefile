# The two commands of the README. Both first install what is missing.
.PHONY: setup demo test bench

setup:
	@scripts/setup.sh

demo: setup
	@scripts/demo.sh

test: setup
	@scripts/run-tests.sh

bench: setup
	@scripts/run-benchmarks.sh
