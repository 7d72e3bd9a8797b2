# Two entry points for a fresh Debian 12 machine: `make demo` and `make test`.
PRESET ?= dev
JOBS ?= $(shell nproc)

.PHONY: deps demo test test-asan test-tsan bench fuzz clean

deps:
	@scripts/install-deps.sh

build/$(PRESET)/build.ninja: | deps
	cmake --preset $(PRESET) >/dev/null

demo: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) --target korsynth kordump
	build/release/tools/korsynth build/release/demo 3 128
	build/release/tools/kordump --threads 2 build/release/demo/smoke.000[1-3].kor

test: deps
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET) -j $(JOBS)
	ctest --preset $(PRESET) -j $(JOBS)
ifeq ($(CI),true)
	$(MAKE) test-asan
endif

test-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

test-tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

bench: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)
	for b in build/release/bench/bench_*; do $$b; done

fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

clean:
	rm -rf build
