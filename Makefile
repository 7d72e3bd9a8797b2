# Two entry points for a fresh Debian 12 machine: `make demo` and `make test`. With CI=true,
# `make test` also checks formatting, the build-option matrix and clang-tidy, runs the
# suite under the sanitizers and runs every fuzz target briefly.
PRESET ?= dev
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 5

.PHONY: deps demo test test-asan test-tsan test-windows bench fuzz fuzz-run mutate check-format \
	check-options tidy clean

deps:
	@scripts/install-deps.sh

build/$(PRESET)/build.ninja: | deps
	cmake --preset $(PRESET) >/dev/null

demo: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) --target korsynth kordump kortool vdbbridge
	build/release/tools/korsynth build/release/demo 3 128
	build/release/tools/kordump --threads 2 build/release/demo/smoke.000[1-3].kor
	build/release/tools/kortool convert build/release/demo/smoke.####.kor build/release/demo/vdb/smoke.####.vdb
	build/release/tools/kortool convert build/release/demo/vdb/smoke.####.vdb build/release/demo/back/smoke.####.kor
	build/release/tools/kortool info build/release/demo/back/smoke.0003.kor
	build/release/tools/kortool preview build/release/demo/smoke.0003.kor -o build/release/demo/smoke.png
	@echo "The smoke preview is $(CURDIR)/build/release/demo/smoke.png"

test: deps
ifeq ($(CI),true)
	scripts/check-format.sh
	scripts/check-options.sh
endif
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET) -j $(JOBS)
	ctest --preset $(PRESET) -j $(JOBS)
ifeq ($(CI),true)
	JOBS=$(JOBS) scripts/run-clang-tidy.sh build/$(PRESET)
	$(MAKE) test-asan
	$(MAKE) fuzz-run
endif

test-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

test-tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

# The Windows DLL, cross-built with MinGW-w64; its tests run under Wine (scripts/wine-run.sh),
# whose server is stopped afterwards, pass or fail.
test-windows:
	@scripts/install-deps.sh windows
	cmake --preset mingw >/dev/null
	cmake --build --preset mingw -j $(JOBS)
	ctest --preset mingw -j $(JOBS); status=$$?; \
	WINEPREFIX=$(CURDIR)/build/mingw/wine wineserver -k 2>/dev/null; exit $$status

bench: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)
	for b in build/release/bench/bench_*; do $$b; done

# The long mutation run under ASan+UBSan: MUTANTS per seed file, RANDOM_SEED to vary it.
MUTANTS ?= 2000
RANDOM_SEED ?= 1
mutate: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS) --target kor_mutate kor_mutation_seeds
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	cmake -DSEEDS=build/asan/tests/mutation/kor_mutation_seeds -DMUTATE=build/asan/tests/mutation/kor_mutate \
	      -DDATA=tests/data -DWORK=build/asan/mutation -DMUTANTS=$(MUTANTS) -DRANDOM_SEED=$(RANDOM_SEED) \
	      -P tests/mutation/RunMutation.cmake

fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

fuzz-run: fuzz
	scripts/run-fuzzers.sh build/fuzz $(FUZZ_SECONDS)

check-format: deps
	scripts/check-format.sh

check-options: deps
	scripts/check-options.sh

tidy: deps
	cmake --preset $(PRESET) >/dev/null
	JOBS=$(JOBS) scripts/run-clang-tidy.sh build/$(PRESET)

clean:
	rm -rf build
