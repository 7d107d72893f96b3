# Velluna: the commands of the README's quick start.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: demo test check-sanitize fuzz deps build install uninstall

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# The built-in demo piece rendered to demo.wav.
demo: build
	$(BUILD)/app/velluna render --demo demo.wav

test: build
	ctest --no-tests=error --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer; the threaded tests
# also with ThreadSanitizer.
check-sanitize: deps
	cmake -S . -B $(BUILD)-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DVELLUNA_SANITIZE=address,undefined $(CMAKE_FLAGS)
	cmake --build $(BUILD)-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	    ctest --no-tests=error --test-dir $(BUILD)-asan --output-on-failure -j $(JOBS)
	cmake -S . -B $(BUILD)-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DVELLUNA_SANITIZE=thread $(CMAKE_FLAGS)
	cmake --build $(BUILD)-tsan -j $(JOBS) --target velluna_threaded_tests
	TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	    ctest --no-tests=error --test-dir $(BUILD)-tsan --output-on-failure \
	    -j $(JOBS) -L threaded

# Every fuzz target of tests/fuzz (clang, libFuzzer, AddressSanitizer and UBSan), each run for
# FUZZ_SECONDS on a corpus kept in the build folder, with its dictionary when it has one. An input
# that runs longer than 10 s counts as a finding (a hang), so a fuzz run never outlasts its time.
FUZZ_SECONDS ?= 30
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD)-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DVELLUNA_FUZZ=ON -DVELLUNA_SANITIZE=address,undefined -DVELLUNA_BUILD_TESTS=OFF \
	    -DVELLUNA_BUILD_BENCH=OFF -DVELLUNA_BUILD_PLUGINS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target velluna_fuzz
	set -e; for src in tests/fuzz/*Fuzz.cpp; do \
	    name=$$(basename $$src .cpp); corpus=$(BUILD)-fuzz/corpus/$$name; mkdir -p $$corpus; \
	    dict=""; [ -f tests/fuzz/$$name.dict ] && dict=-dict=tests/fuzz/$$name.dict; \
	    echo "fuzz: $$name for $(FUZZ_SECONDS) s"; \
	    $(BUILD)-fuzz/tests/fuzz/$$name -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=1 \
	        -artifact_prefix=$(BUILD)-fuzz/ $$dict $$corpus; \
	done

# The plug-ins (LV2, VST3, CLAP), the command-line program and the JACK standalone. Without
# PREFIX into the user's home (~/.lv2, ~/.vst3, ~/.clap, ~/.local/bin); with PREFIX=/usr/local
# into PREFIX/lib/{lv2,vst3,clap} and PREFIX/bin. DESTDIR stages under another root.
PREFIX ?=
install: build
	scripts/install-velluna install "$(BUILD)" "$(PREFIX)"

uninstall:
	scripts/install-velluna uninstall "$(BUILD)" "$(PREFIX)"
