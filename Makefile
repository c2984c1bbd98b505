# make run   installs what is missing, builds, starts Miravel
# make test  installs what is missing, builds, runs the whole test suite
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: run test deps build

run: build
	$(BUILD)/bin/miravel

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

deps:
	scripts/deps.sh
