# The two set-up commands: `make run` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2
PREFIX ?= $(HOME)/.local
DESTDIR ?=

.PHONY: run test build deps stage format clean fuzz fuzz-build asan bench bench-display bench-typing install uninstall

run: build
	./Kovra/kovra

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

deps:
	@./scripts/deps.sh

$(BUILD_DIR)/build.ninja: | deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j$(JOBS)
	cmake --build $(BUILD_DIR) --target stage

# Per-user install (PREFIX, default $(HOME)/.local; DESTDIR as usual): the program folder PREFIX/share/kovra,
# the desktop entry and the icons. Again: upgrades the program's own files. KOVRA.INI and the image folders
# are never touched, by either target.
install: build
	PREFIX="$(PREFIX)" DESTDIR="$(DESTDIR)" ./scripts/install.sh install $(BUILD_DIR)

uninstall:
	PREFIX="$(PREFIX)" DESTDIR="$(DESTDIR)" ./scripts/install.sh uninstall $(BUILD_DIR)

# Generates the benchmark catalogues once (cached in bench/data/) and times `kovra-cli search` against ripgrep.
bench: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j$(JOBS) --target kovra-cli kovra-gencat kovra-refscan kovra-benchindex kovra-benchstart
	python3 bench/run_bench.py --bin $(BUILD_DIR)/bin

# Picture display timings, offscreen (generated JPEGs cached in bench/data/display/); part of `make bench`.
bench: bench-display
# DISPLAY_JPEGS: photos of your own timed at full size beside the generated ones.
DISPLAY_JPEGS ?=
bench-display: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j$(JOBS) --target kovra-displaybench
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bin/kovra-displaybench --data bench/data/display $(foreach f,$(DISPLAY_JPEGS),--jpeg $(f))

# Typing in the search window to the painted list, 10,000 images (TYPING_IMAGES), in a real window
# under Xvfb and openbox; part of `make bench`.
TYPING_IMAGES ?= 10000
# PICTURE_CATALOGUE: a program folder of real photos whose items hold PICTURE_TEXT, for the result pictures.
PICTURE_TEXT ?= pen
bench: bench-typing
bench-typing: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j$(JOBS) --target kovra-gencat kovra-benchtyping
	test -d bench/data/typing-$(TYPING_IMAGES) || $(BUILD_DIR)/bin/kovra-gencat $(TYPING_IMAGES) bench/data/typing-$(TYPING_IMAGES)
	xvfb-run -a -s "-screen 0 1280x1024x24" tests/e2e/with_openbox.sh $(BUILD_DIR)/bin/kovra-benchtyping bench/data/typing-$(TYPING_IMAGES)
	test -z "$(PICTURE_CATALOGUE)" || xvfb-run -a -s "-screen 0 1280x1024x24" tests/e2e/with_openbox.sh $(BUILD_DIR)/bin/kovra-benchtyping --pictures "$(PICTURE_TEXT)" $(PICTURE_CATALOGUE)

# Fuzzing: each libFuzzer target (built with clang in $(FUZZ_DIR)) runs FUZZ_SECONDS; any finding fails.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=

fuzz-build: deps
	CC=clang CXX=clang++ cmake -S tests/fuzz -B $(FUZZ_DIR) -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_DIR) -j$(JOBS)

fuzz: fuzz-build
	./tests/fuzz/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer in a second build directory.
# Any finding fails the run; leaks are reported except the suppressed ones of system libraries.
ASAN_DIR ?= build-asan
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=0:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/reliability/lsan.supp:print_suppressions=0

asan: deps
	cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOVRA_SANITIZE=ON -DKOVRA_PROGRAM_DIR=$(CURDIR)/$(ASAN_DIR)/Kovra
	cmake --build $(ASAN_DIR) -j$(JOBS)
	cd $(ASAN_DIR) && $(SANITIZER_ENV) ctest --output-on-failure -j$(JOBS)

format:
	find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

# Removes build products only; the program folder Kovra/ holds the user's catalogue and is never touched here.
clean:
	rm -rf $(BUILD_DIR)
