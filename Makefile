# make run   builds Uninstall.exe and starts it under Wine with simulated instruments.
# make test  builds both trees and runs every test (host natively, Windows under Wine).
.PHONY: all run test host win32 bootstrap clean fuzz bench

all: host win32

bootstrap:
	@scripts/bootstrap

host: bootstrap
	@cmake -S . -B build/host -G Ninja -DQOR_SANITIZE=ON >/dev/null
	@cmake --build build/host

win32: bootstrap
	@cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@cmake --build build/win32

test: host win32
	@echo "== layering =="
	@scripts/check-layers
	@echo "== host tests =="
	@ctest --test-dir build/host --output-on-failure
	@echo "== Windows tests (Wine) =="
	@scripts/test-win32 build/win32

run: win32
	@scripts/run-demo build/win32

clean:
	rm -rf build

# make fuzz FUZZ_SECONDS=60  runs every fuzz harness for that long (clang, libFuzzer).
FUZZ_SECONDS ?= 60
fuzz: bootstrap
	@CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DQOR_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build/fuzz
	@scripts/run-fuzzers build/fuzz $(FUZZ_SECONDS)

# make bench  runs the benchmarks (optimised host build, no sanitizers).
bench: bootstrap
	@cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build/bench
	@for b in build/bench/bench/*_bench; do echo "== $$b"; $$b; done
