# The two commands of the README: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: run test build deps clean bench package

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) -- --no-print-directory

run: build
	@scripts/run $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)

bench: build
	@for b in $(BUILD)/bench/*_bench; do echo "== $$(basename $$b)"; $$b || exit 1; done

# The Debian package: $(BUILD)/kestra_<version>_<arch>.deb (install it with apt install ./...).
package: build
	@cmake --build $(BUILD) --target package -- --no-print-directory
