# Quick start: `make run` builds and starts Ternova; `make test` builds and runs every test.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= 2

.PHONY: deps build run test test-sanitize test-plain bench install clean

deps:
	@bash scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/app/ternova

# Unit and GUI tests once under AddressSanitizer and UndefinedBehaviorSanitizer, then the
# whole suite on the ordinary build (its summary is the last line).
test: test-sanitize test-plain

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTERNOVA_SANITIZE=ON -DTERNOVA_BENCH=OFF >/dev/null
	cmake --build $(SANITIZE_BUILD) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=0 ctest --test-dir $(SANITIZE_BUILD) -j$(JOBS) --output-on-failure -LE slow

test-plain: build
	ctest --test-dir $(BUILD) -j$(JOBS) --output-on-failure

bench:
	bash bench/run

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
