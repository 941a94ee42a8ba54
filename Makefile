# Thin wrapper over CMake. `make run` and `make test` install what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_SECONDS ?= 300
# Megabyte inputs in bounded memory: a small input that decodes into a huge tree fails.
FUZZ_FLAGS ?= -max_len=1048576 -rss_limit_mb=512
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: deps build asan run test package bench fuzz screenshots clean

deps:
	./scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCELVIO_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS)

# The core, its tests and the fuzz targets under AddressSanitizer and UBSan (clang).
asan: deps
	CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DCELVIO_WERROR=ON -DCELVIO_SANITIZE=ON -DCELVIO_CORE_ONLY=ON -DCELVIO_FUZZ=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# The application; a second `make run` brings the running window to the front.
run: build
	./$(BUILD)/celvio

test: build asan
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The Debian packages celvio_VERSION_ARCH.deb and celvio-sim_VERSION_ARCH.deb, in this folder.
package: build
	cpack --config $(BUILD)/CPackConfig.cmake -B $(BUILD)/package
	cp $(BUILD)/package/*.deb .
	@ls *.deb

# A picture of every panel, drawn from the simulator, in $(BUILD)/screenshots.
screenshots: build
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/tests/app/celvio_app_tests --gtest_filter='Screenshots.*'
	@ls $(BUILD)/screenshots

bench: build
	@for b in $(BUILD)/bench/celvio_bench_*; do echo "== $$b"; $$b; done

# Each libFuzzer target for FUZZ_SECONDS under ASan+UBSan, corpus kept in $(ASAN_BUILD)/corpus.
fuzz: asan
	@for f in $(ASAN_BUILD)/fuzz/fuzz_*; do \
	  name=$$(basename $$f); mkdir -p $(ASAN_BUILD)/corpus/$$name; \
	  echo "== $$name"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) $(FUZZ_FLAGS) -print_final_stats=1 -artifact_prefix=$(ASAN_BUILD)/ $(ASAN_BUILD)/corpus/$$name fuzz/seeds/$$name || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
