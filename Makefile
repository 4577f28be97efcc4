# The two commands that do everything on a fresh machine:
#   make run    builds and starts the program
#   make test   builds and runs every test
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX ?= /usr/local

.PHONY: all build run test install package clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/trelvo

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX) --component trelvo

# A Debian package of the program and its manual page, left in $(BUILD).
package: build
	cd $(BUILD) && cpack

clean:
	rm -rf $(BUILD)
