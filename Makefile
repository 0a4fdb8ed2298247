# Quick start: `make run` builds and starts Ternova; `make test` builds and runs every test.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
DEB_BUILD ?= build-deb
FUZZ_SECONDS ?= 60
JOBS ?= 2

.PHONY: deps deps-test deps-bench deps-deb build run test test-fuzz test-sanitize test-plain bench deb install clean

# Each command installs only what it needs: building and running; the test tools; the benchmark
# tools.
deps:
	@bash scripts/install-deps build

deps-test:
	@bash scripts/install-deps test

deps-bench:
	@bash scripts/install-deps bench

deps-deb:
	@bash scripts/install-deps deb

# The ordinary build takes CMake's default generator, as most people, packagers and IDEs do
# (an existing build folder keeps the one it was made with); the test builds use Ninja.
build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/app/ternova

# The fuzz targets for a bounded time, unit and GUI tests once under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the whole suite on the ordinary build (its summary is the
# last line).
test: test-fuzz test-sanitize test-plain

# Each fuzz target for FUZZ_SECONDS on a fresh copy of its seed corpus (the repository's stays
# as it is); any finding fails, its input kept in $(FUZZ_BUILD)/artifacts. Then the 100 MB
# hostile files, too slow for the unit suite a developer runs after every change.
test-fuzz: deps-test
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DTERNOVA_FUZZ=ON -DTERNOVA_GUI=OFF -DTERNOVA_BENCH=OFF >/dev/null
	cmake --build $(FUZZ_BUILD) -j$(JOBS)
	@mkdir -p $(FUZZ_BUILD)/artifacts
	@for t in data_file metafile metafile_import; do \
	  rm -rf $(FUZZ_BUILD)/corpus/$$t && mkdir -p $(FUZZ_BUILD)/corpus && \
	  cp -r tests/fuzz/corpus/$$t $(FUZZ_BUILD)/corpus/$$t && \
	  echo "fuzzing $${t}_fuzz for $(FUZZ_SECONDS) s" && \
	  if ./$(FUZZ_BUILD)/tests/fuzz/$${t}_fuzz -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -timeout=10 \
	       -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/artifacts/$${t}- $(FUZZ_BUILD)/corpus/$$t \
	       >$(FUZZ_BUILD)/$$t.log 2>&1; then \
	    grep -E 'stat::(number_of_executed_units|new_units_added)' $(FUZZ_BUILD)/$$t.log; \
	  else \
	    tail -n 40 $(FUZZ_BUILD)/$$t.log; echo "$${t}_fuzz found a fault; log in $(FUZZ_BUILD)/$$t.log"; exit 1; \
	  fi; \
	done
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j$(JOBS) --target hostile_file_test
	./$(BUILD)/tests/data/hostile_file_test --gtest_filter='LargeFile.*'

test-sanitize: deps-test
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTERNOVA_SANITIZE=ON -DTERNOVA_BENCH=OFF >/dev/null
	cmake --build $(SANITIZE_BUILD) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=0 ctest --test-dir $(SANITIZE_BUILD) -j$(JOBS) --output-on-failure -E '^(HostileFile|InstallIntoATemporaryPrefix|DebianPackages)' 

test-plain: deps-test build
	ctest --test-dir $(BUILD) -j$(JOBS) --output-on-failure

bench: deps-bench
	bash bench/run

# Debian packages in $(DEB_BUILD): a build of their own with Debian's compiler and linker flags
# (hardening included) and without the tests, packed by CPack and checked by lintian.
deb: deps-deb
	export DEB_BUILD_MAINT_OPTIONS=hardening=+all; \
	cmake -S . -B $(DEB_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTERNOVA_BENCH=OFF -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
	  "-DCMAKE_CXX_FLAGS=$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=$$(dpkg-buildflags --get LDFLAGS)" \
	  "-DCMAKE_SHARED_LINKER_FLAGS=$$(dpkg-buildflags --get LDFLAGS)" \
	  "-DCMAKE_MODULE_LINKER_FLAGS=$$(dpkg-buildflags --get LDFLAGS)" >/dev/null
	cmake --build $(DEB_BUILD) -j$(JOBS)
	rm -f $(DEB_BUILD)/*.deb
	cd $(DEB_BUILD) && cpack -G DEB
	lintian --fail-on error --tag-display-limit 0 $(DEB_BUILD)/*.deb
	@ls $(DEB_BUILD)/*.deb

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD) $(DEB_BUILD)
