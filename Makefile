# make run   builds Uninstall.exe and starts it under Wine with simulated instruments.
# make test  builds both trees and runs every test (host natively, Windows under Wine).
.PHONY: all run test host win32 bootstrap clean

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
	@echo "== host tests =="
	@ctest --test-dir build/host --output-on-failure
	@echo "== Windows tests (Wine) =="
	@scripts/test-win32 build/win32

run: win32
	@scripts/run-demo build/win32

clean:
	rm -rf build
