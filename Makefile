# Two entry points: `make run` builds and starts vyr; `make test` builds and runs every test
# (plain, under ASan+UBSan, and with the collector stress switch).
JOBS ?= $(shell nproc)
BUILD = build
ASAN = build-asan
FUZZ = build-fuzz
FUZZ_SECONDS ?= 12

.PHONY: run test setup build build-asan unit-test asan-test stress-test fuzz-test bench clean

setup:
	@sh tools/setup

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(ASAN)/build.ninja:
	cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVYR_SANITIZE=ON -DVYR_BENCH=OFF

build: setup $(BUILD)/build.ninja
	ninja -C $(BUILD) -j $(JOBS)

build-asan: setup $(ASAN)/build.ninja
	ninja -C $(ASAN) -j $(JOBS)

run: build
	./$(BUILD)/vyr

# The tests choose their display themselves: a DISPLAY of the session would turn every
# console they start into the graphical one.
TEST_ENV = env -u DISPLAY -u VYR_CONSOLE -u VYR_DISPLAY -u VYR_HEADLESS_INPUT

unit-test: build
	cd $(BUILD) && $(TEST_ENV) ctest -j $(JOBS) --output-on-failure

asan-test: build-asan
	cd $(ASAN) && $(TEST_ENV) ASAN_OPTIONS=detect_leaks=0 ctest -j $(JOBS) --output-on-failure

stress-test: build
	cd $(BUILD) && $(TEST_ENV) VYR_GC_STRESS=1 ctest -j $(JOBS) --output-on-failure

# Fuzz targets run briefly, only where clang++ is installed (libFuzzer comes with it).
fuzz-test: setup
	@sh tools/fuzz.sh $(FUZZ) $(JOBS) $(FUZZ_SECONDS)

# The fuzz run first, so that the output closes with the test summaries.
test: fuzz-test unit-test asan-test stress-test

bench: build
	./$(BUILD)/vyr_bench
	/usr/bin/python3.11 bench/host_bench.py $(BUILD)/vyr
	/usr/bin/python3.11 bench/series_library_bench.py $(BUILD)/vyr
	/usr/bin/python3.11 bench/json_bench.py $(BUILD)/vyr
	/usr/bin/python3.11 bench/console_bench.py $(BUILD)/vyr
	/usr/bin/python3.11 bench/view_bench.py $(BUILD)/vyr
	/usr/bin/python3.11 bench/list_edits_bench.py $(BUILD)/vyr
	/usr/bin/python3.11 bench/gui_console_bench.py $(BUILD)/vyr
	/usr/bin/python3.11 bench/gui_console_long_line_bench.py $(BUILD)/vyr
	/usr/bin/python3.11 bench/console_launch_bench.py $(BUILD)/vyr
	/usr/bin/python3.11 bench/console_settings_bench.py $(BUILD)/vyr
	/usr/bin/python3.11 bench/macro_bench.py $(BUILD)/vyr

clean:
	rm -rf $(BUILD) $(ASAN) $(FUZZ)
