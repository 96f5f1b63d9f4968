# The two set-up commands: `make run` and `make test`. Both install the Debian
# packages Perchly needs when they are missing, then configure and build.
BUILD_DIR   := build
JOBS        ?= $(shell nproc)
RELEASE_DIR := $(BUILD_DIR)/release
ASAN_DIR    := $(BUILD_DIR)/asan
BENCH_DIR   := $(BUILD_DIR)/bench
FUZZ_DIR    := $(BUILD_DIR)/fuzz
FUZZ_SECONDS ?= 60

.PHONY: run test bench blackbox deps build-release build-asan clean

deps:
	@tools/install-deps.sh

build-release: deps
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPERCHLY_TESTS=OFF
	cmake --build $(RELEASE_DIR) -j $(JOBS)

run: build-release
	@tools/run-perchly.sh $(RELEASE_DIR)/bin/perchly

build-asan: deps
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DPERCHLY_SANITIZE=ON
	cmake --build $(ASAN_DIR) -j $(JOBS)

test: build-asan
	cd $(ASAN_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

bench: deps
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DPERCHLY_TESTS=ON -DPERCHLY_BENCH=ON
	cmake --build $(BENCH_DIR) -j $(JOBS)
	tools/run-benchmarks.sh $(BENCH_DIR)

# The real program on a private virtual X display, driven by mouse and keyboard: the
# list editors and the alert box, checked by what they leave in perchly.ini.
blackbox: build-release
	env -u DISPLAY tools/blackbox.sh $(RELEASE_DIR)/bin

clean:
	rm -rf $(BUILD_DIR)

# A local demonstration: a sample page on a loopback port and a copy of Perchly
# watching it (needs a display: `xvfb-run make demo` works without one).
.PHONY: demo
demo: build-release
	@tools/demo.sh $(RELEASE_DIR)/bin

# libFuzzer targets (clang, ASan + UBSan), each run FUZZ_SECONDS seconds over
# its seeds in fuzz/corpus; fails on any finding. `make fuzz FUZZ_SECONDS=10`
# gives a quick pass.
.PHONY: fuzz
fuzz: deps
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DPERCHLY_FUZZ=ON -DPERCHLY_TESTS=OFF
	cmake --build $(FUZZ_DIR) --target perchly_fuzzers -j $(JOBS)
	FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run-fuzzers.sh $(FUZZ_DIR)

# A long run against nginx with one hostile site: `make soak` (SOAK_SECONDS=600
# by default) prints descriptors and memory at the start and the end and fails
# when they grew. Built in release, without the sanitizers' own memory use.
SOAK_DIR := $(BUILD_DIR)/soak
.PHONY: soak
soak: deps
	cmake -S . -B $(SOAK_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPERCHLY_TESTS=ON
	cmake --build $(SOAK_DIR) -j $(JOBS) --target watch_soak
	tools/soak.sh $(SOAK_DIR)

# The Debian package: build/package/perchly_<version>_<arch>.deb, from a release
# build of its own with Debian's hardening flags, packed by CPack.
PACKAGE_DIR := $(BUILD_DIR)/package
.PHONY: package
package: deps
	cmake -S . -B $(PACKAGE_DIR) -DCMAKE_BUILD_TYPE=Release -DPERCHLY_TESTS=OFF \
		-DCMAKE_CXX_FLAGS="$$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS) $$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CPPFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)"
	cmake --build $(PACKAGE_DIR) -j $(JOBS)
	cd $(PACKAGE_DIR) && cpack -G DEB
