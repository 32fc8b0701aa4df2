# The two commands of the README: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
# Extra configure options, e.g. CMAKE_ARGS=-DKESTRA_WERROR=ON (as CI builds).
CMAKE_ARGS ?=

.PHONY: run test build deps clean bench package pictures

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) -- --no-print-directory

run: build
	@scripts/run $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)

# Every benchmark runs, one after the other (never beside a build); then the ones
# beyond their bounds (or that failed to run) are named and the target fails.
bench: build
	@missed=""; \
	for b in $(BUILD)/bench/*_bench; do \
	  echo "== $$(basename $$b)"; \
	  $$b || missed="$$missed $$(basename $$b)"; \
	done; \
	if [ -n "$$missed" ]; then echo "== beyond their bounds:$$missed"; exit 1; fi; \
	echo "== every benchmark within its bounds"

# The Debian package: $(BUILD)/kestra_<version>_<arch>.deb (install it with apt install ./...).
package: build
	@cmake --build $(BUILD) --target package -- --no-print-directory

# The manual's pictures (docs/pictures/), one per page of Kestra and one of Kalvex: the
# window tests take them on an X server (Xvfb) against the simulator in the process.
pictures: build
	@mkdir -p docs/pictures
	@KESTRA_MANUAL_PICTURES=$(CURDIR)/docs/pictures QT_QPA_PLATFORM=xcb \
	  xvfb-run -a -s "-screen 0 1600x1200x24" $(BUILD)/tests/gui_tests --gtest_filter='*ManualPicture*' \
	  --gtest_brief=1
	@# The Logs page over the benchmarks' hour of log (written once into the build folder).
	@[ -s $(BUILD)/hour.csv ] || $(BUILD)/bench/logs_bench $(BUILD)/hour.csv >/dev/null
	@KESTRA_SHOT_DIR=$(CURDIR)/docs/pictures KESTRA_SHOT_LOG=$(CURDIR)/$(BUILD)/hour.csv QT_QPA_PLATFORM=xcb \
	  xvfb-run -a -s "-screen 0 1600x1200x24" $(BUILD)/tests/gui_tests --gtest_filter='LogsPageTest.Pictures' \
	  --gtest_brief=1
	@echo "== $$(ls docs/pictures/*.png | wc -l) pictures in docs/pictures/"
