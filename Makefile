# Two entry points: `make run` builds and starts vyr; `make test` builds and runs every test
# (plain, under ASan+UBSan, and with the collector stress switch).
JOBS ?= $(shell nproc)
BUILD = build
ASAN = build-asan
FUZZ = build-fuzz
FUZZ_SECONDS ?= 20
CODEC_FUZZ_SECONDS ?= 10
IMAGE_FUZZ_SECONDS ?= 10
IMAGE_FUZZERS = png jpeg gif tiff bmp

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

unit-test: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure

asan-test: build-asan
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=0 ctest -j $(JOBS) --output-on-failure

stress-test: build
	cd $(BUILD) && VYR_GC_STRESS=1 ctest -j $(JOBS) --output-on-failure

# Fuzz targets run briefly, only where clang++ is installed (libFuzzer comes with it).
fuzz-test: setup
	@if command -v clang++ >/dev/null 2>&1; then \
	  cmake -S . -B $(FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	    -DCMAKE_C_COMPILER=clang -DVYR_FUZZ=ON -DVYR_BENCH=OFF >/dev/null && \
	  ninja -C $(FUZZ) -j $(JOBS) lexer_fuzz base_n_fuzz parse_binary_fuzz map_fuzz inflate_fuzz lz_fuzz codec_roundtrip_fuzz vyrbin_fuzz && \
	  for t in base_n_fuzz parse_binary_fuzz map_fuzz; do \
	    ASAN_OPTIONS=detect_leaks=0 ./$(FUZZ)/$$t -max_total_time=$(FUZZ_SECONDS) -timeout=5 \
	      -artifact_prefix=$(FUZZ)/ -print_final_stats=1 || exit 1; done && \
	  mkdir -p $(FUZZ)/lexer_corpus && \
	  ASAN_OPTIONS=detect_leaks=0 ./$(FUZZ)/lexer_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=5 -artifact_prefix=$(FUZZ)/ \
	    -print_final_stats=1 $(FUZZ)/lexer_corpus tests/fuzz/lexer_corpus && \
	  for t in inflate lz codec_roundtrip vyrbin; do \
	    mkdir -p $(FUZZ)/$${t}_corpus && \
	    ASAN_OPTIONS=detect_leaks=0 ./$(FUZZ)/$${t}_fuzz -max_total_time=$(CODEC_FUZZ_SECONDS) -timeout=5 \
	      -artifact_prefix=$(FUZZ)/ -print_final_stats=1 $(FUZZ)/$${t}_corpus \
	      $$(ls -d tests/fuzz/$${t}_corpus 2>/dev/null) || exit 1; \
	  done; \
	  ninja -C $(FUZZ) -j $(JOBS) host_text_fuzz && \
	  ASAN_OPTIONS=detect_leaks=0 ./$(FUZZ)/host_text_fuzz -max_total_time=10 -timeout=5 -artifact_prefix=$(FUZZ)/; \
	  ninja -C $(FUZZ) -j $(JOBS) $(IMAGE_FUZZERS:%=%_fuzz) && \
	  for t in $(IMAGE_FUZZERS); do mkdir -p $(FUZZ)/$${t}_corpus && \
	    ASAN_OPTIONS=detect_leaks=0 ./$(FUZZ)/$${t}_fuzz -max_total_time=$(IMAGE_FUZZ_SECONDS) -timeout=5 \
	      -rss_limit_mb=1024 -artifact_prefix=$(FUZZ)/ $(FUZZ)/$${t}_corpus tests/fuzz/$${t}_corpus || exit 1; \
	  done; \
	  ninja -C $(FUZZ) -j $(JOBS) draw_fuzz && \
	  ASAN_OPTIONS=detect_leaks=0 ./$(FUZZ)/draw_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 -artifact_prefix=$(FUZZ)/ || exit 1; \
	else echo "clang++ not found: fuzz targets skipped"; fi

# The fuzz run first, so that the output closes with the test summaries.
test: fuzz-test unit-test asan-test stress-test

bench: build
	./$(BUILD)/vyr_bench
	/usr/bin/python3.11 bench/host_bench.py $(BUILD)/vyr

clean:
	rm -rf $(BUILD) $(ASAN) $(FUZZ)
