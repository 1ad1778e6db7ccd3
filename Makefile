# hrx: the two commands that matter are `make demo` and `make test`;
# `make bench` measures the player (never part of `make test`); `make dist`
# builds the setup program and the zip into build/dist.
BUILD := build
JOBS  := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build test demo bench soak dist clean

all: build

deps:
	@tools/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure --timeout 900

demo: build
	python3 tools/demo.py $(BUILD)

# The long run: an hour of random commands, restarts and copies on a rig of
# its own (SOAK_SECONDS and SOAK_EVENT_SECONDS shorten it).  Not in `make test`.
soak: build
	python3 tests/system/soak.py $(BUILD)

dist: build
	cmake --build $(BUILD) --target dist

bench: build
	cmake --build $(BUILD) --target bench_ldpbench
	python3 tests/bench/bench.py $(BUILD)

clean:
	rm -rf $(BUILD)
