# make run  - installs what is missing, builds, starts VERNA on the embedded demo database
# make test - installs what is missing, builds, runs every test (with a private PostgreSQL)
# make package - builds, then the Debian package (verna_VERSION_ARCH.deb in the build folder)
# make test-asan - the core and window tests again, built with AddressSanitizer and UBSan
# make bench - the benchmark table (speed and memory figures beside their targets)
# make bench-scale - the national scale: 1,000,000 companies on SQLite and PostgreSQL (the first run
#   builds the fixtures, about an hour and 40 GB; later runs reuse them)
# make fuzz - builds the fuzz targets with clang and libFuzzer in build-fuzz, runs each a minute within 512 MB
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps configure build run test package test-asan bench bench-scale fuzz clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@test -f $(BUILD)/build.ninja || cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/src/app/verna

test: build
	bash scripts/test-postgres.sh ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

package: build
	cd $(BUILD) && cpack -G DEB

ASAN_BUILD ?= build-asan
ASAN_FLAGS = -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer

# The package is built and tested from the plain build (make test), so it is left out here.
# Leaks are not checked: Qt's and the drivers' one-time allocations would drown real reports.
test-asan: deps
	@test -f $(ASAN_BUILD)/build.ninja || cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		"-DCMAKE_CXX_FLAGS=$(ASAN_FLAGS)" "-DCMAKE_EXE_LINKER_FLAGS=$(ASAN_FLAGS)"
	cmake --build $(ASAN_BUILD) -j$(JOBS) --target verna-db verna-core-tests verna-gui-tests verna-fuzz-formula verna-fuzz-payload verna-fuzz-csstitle verna-fuzz-import verna-fuzz-batch verna-reliability
	ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
		bash scripts/test-postgres.sh ctest --test-dir $(ASAN_BUILD) --output-on-failure -j$(JOBS) -E '^package\.'

# The benchmark table: embedded figures, and the ODBC ones beside a private PostgreSQL when
# one can be started (else those rows say they were skipped). Generated databases stay in
# $(BUILD)/bench-fixtures between runs; the table goes to bench/RESULTS.md as well.
BENCH = $(BUILD)/bench/verna-bench --fixtures $(BUILD)/bench-fixtures --markdown bench/RESULTS.md
bench: build
	@if ls /usr/lib/postgresql/*/bin/initdb >/dev/null 2>&1; then bash scripts/test-postgres.sh $(BENCH); else $(BENCH); fi

# The PostgreSQL cluster keeps its data beside the fixtures, so its copy of them is made once.
bench-scale: build
	VERNA_PG_DATA=$(abspath $(BUILD))/bench-fixtures/postgres bash scripts/test-postgres.sh \
		$(BUILD)/bench/verna-bench --fixtures $(BUILD)/bench-fixtures --markdown bench/RESULTS.md --title "make bench-scale" \
		--scale-entities 1000000 scale national bulk-national

FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
# An input that makes a target grow past this is a failure, as a hostile file must not.
FUZZ_RSS_MB ?= 512
FUZZ_TARGETS = formula payload csstitle import batch

fuzz: deps
	@test -f $(FUZZ_BUILD)/build.ninja || CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERNA_FUZZ=ON -DVERNA_BUILD_GUI=OFF -DVERNA_BUILD_TESTS=OFF \
		"-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
	cmake --build $(FUZZ_BUILD) -j$(JOBS) $(foreach t,$(FUZZ_TARGETS),--target verna-fuzz-$(t))
	@for t in $(FUZZ_TARGETS); do \
		mkdir -p $(FUZZ_BUILD)/corpus/$$t && \
		$(FUZZ_BUILD)/fuzz/verna-fuzz-$$t -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=$(FUZZ_RSS_MB) -dict=fuzz/$$t.dict \
			$(FUZZ_BUILD)/corpus/$$t fuzz/corpus/$$t || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
