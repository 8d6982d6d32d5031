# The two set-up commands: `make run` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2

.PHONY: run test build deps stage format clean fuzz bench

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

# Generates the benchmark catalogues once (cached in bench/data/) and times `kovra-cli search` against ripgrep.
bench: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j$(JOBS) --target kovra-cli kovra-gencat kovra-refscan
	python3 bench/run_bench.py --bin $(BUILD_DIR)/bin

format:
	find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

# Removes build products only; the program folder Kovra/ holds the user's catalogue and is never touched here.
clean:
	rm -rf $(BUILD_DIR)
