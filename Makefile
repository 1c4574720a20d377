# Entry points for people and CI. Every target installs what is missing first.
.PHONY: deps build run test asan tsan bench fuzz install deb clean format

PREFIX ?= $(HOME)/.local

deps:
	./scripts/install-deps.sh

build: deps
	cmake --preset default
	cmake --build --preset default

run: build
	./scripts/run.sh build/default/bin

test: build
	ctest --preset default

asan: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan
	ctest --preset tsan

bench: deps
	cmake --preset bench
	cmake --build --preset bench
	./scripts/run-bench.sh build/bench

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz

install: build
	cmake --install build/default --prefix $(PREFIX)

deb: build
	cd build/default && cpack --config CPackConfig.cmake

format:
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

clean:
	rm -rf build
