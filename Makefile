# make run   builds Uninstall.exe and starts it under Wine with simulated instruments.
# make test  builds all three trees and runs every test (host natively, Windows under Wine).
# make demo-crash  builds the example program and shows the crash reporter's dialog under Wine.
.PHONY: all run demo-crash test host win32 win64 win64-tree bootstrap clean fuzz bench

all: host win32 win64

bootstrap:
	@scripts/bootstrap

host: bootstrap
	@cmake -S . -B build/host -G Ninja -DQOR_SANITIZE=ON >/dev/null
	@cmake --build build/host

# The 64-bit tree builds the helper that Uninstall.exe carries; the 32-bit
# tree has it build just that, so it only needs to be configured first.
win64-tree: bootstrap
	@cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null

win64: win64-tree
	@cmake --build build/win64

win32: win64-tree
	@cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@cmake --build build/win32

test: host win32 win64
	@echo "== layering =="
	@scripts/check-layers
	@echo "== host tests =="
	@ctest --test-dir build/host --output-on-failure
	@echo "== Windows tests (Wine, 32-bit prefix) =="
	@scripts/test-windows build/win32 win32
	@echo "== 64-bit Windows tests (Wine, 64-bit prefix; Uninstall.exe under WoW64) =="
	@scripts/test-windows build/win64 win64

run: win32
	@scripts/run-demo build/win32

demo-crash: win32
	@scripts/demo-crash build/win32

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
