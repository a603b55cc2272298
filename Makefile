# Korvatron: one way to build. `make test` is the README's test command and what CI runs.
BUILD    ?= build
SANBUILD ?= build-sanitize
FUZZBUILD ?= build-fuzz
BENCHBUILD ?= build-bench
FUZZ_TIME ?= 30
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)

# Every Debian package the build, the tests and the benchmarks need.
DEB_PACKAGES := g++ make cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev \
                libsdl2-dev libmikmod-dev libminizip-dev zip python3 libphysfs-dev \
                libsdl2-gfx-dev libpixman-1-dev imagemagick python3-pil libsdl2-image-dev libstb-dev \
                libfreetype-dev fonts-dejavu-core clang libclang-rt-14-dev dpkg-dev valgrind \
                xvfb xauth xfonts-base
# Only for checking the Debian package: `make package-lint` and `make package-test`.
LINT_PACKAGES := lintian
PACKAGE_TEST_PACKAGES := debootstrap

# Only for the browser build (`make web`, `make web-test`): never asked for by the desktop targets.
WEB_PACKAGES := emscripten cmake make dpkg-dev python3
WEB_TEST_PACKAGES := chromium
WEBBUILD ?= build-web
# Where the page's libraries are built and kept: any folder (CI keeps one outside its fresh clone).
WEB_DEPS ?= $(WEBBUILD)/deps
WEB_PORT ?= 8080

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all build deps test sanitize fuzz fuzz-build fuzz-merge bench clean gamedata-sheet play \
        package package-lint package-test web web-deps web-serve web-test

all: build

# $(call install-missing,PACKAGES): apt-get installs those not yet installed; quiet when none is missing.
install-missing = @missing=$$(for p in $(1); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed$$' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing:" $$missing; \
	    $(SUDO) apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

deps:
	$(call install-missing,$(DEB_PACKAGES))

# $(call configure,DIR,OPTIONS): a failed configure removes the cache it left, so the next run configures
# again instead of building in a folder without a Makefile.
configure = cmake -S . -B $(1) $(2) || { rm -f $(1)/CMakeCache.txt; \
	echo "make: configuring $(1) failed; \`make deps\` installs the Debian packages the build needs" >&2; exit 1; }

# The generated build file, not the cache: CMake writes it only when a configure succeeded.
$(BUILD)/Makefile: | deps
	$(call configure,$(BUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo)

build: deps $(BUILD)/Makefile
	cmake --build $(BUILD) -j $(JOBS)

# The game in a window. PLAY_ARGS passes options through (make play PLAY_ARGS="--scale 3").
play: build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	    echo "make play: no display to open a window on (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2; \
	    echo "Without one the game runs headless: $(BUILD)/game/korvatron --headless --help" >&2; \
	    exit 1; \
	fi
	$(BUILD)/game/korvatron $(PLAY_ARGS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# A separate tree with AddressSanitizer and UndefinedBehaviorSanitizer; any finding ends the test with a failure.
sanitize: deps
	$(call configure,$(SANBUILD),-DCMAKE_BUILD_TYPE=Debug -DKORVA_SANITIZE=ON)
	cmake --build $(SANBUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    ctest --test-dir $(SANBUILD) --output-on-failure -j $(JOBS)

# libFuzzer with ASan/UBSan over every reader of outside bytes, one at a time: FUZZ_TIME seconds each, or
# FUZZ_RUNS inputs each when given (make fuzz FUZZ_RUNS=10000000). New inputs go to
# $(FUZZBUILD)/corpus-<target>, so the committed corpora in fuzz/corpus stay small (`make fuzz-merge` folds
# what a campaign found back into them, minimised); findings are written to $(FUZZBUILD) as crash-*, leak-*,
# timeout-*. Not part of `make test`: the corpora replay there.
FUZZ_TARGETS := tga gsf raw archive wav sprites font script game settings scores
FUZZ_LIMIT = $(if $(FUZZ_RUNS),-runs=$(FUZZ_RUNS),-max_total_time=$(FUZZ_TIME))
FUZZ_ENV := ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

fuzz-build: deps
	CC=clang CXX=clang++ $(call configure,$(FUZZBUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVA_FUZZ=ON -DKORVA_TESTS=OFF)
	cmake --build $(FUZZBUILD) -j $(JOBS) --target fuzz-targets

fuzz: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
	    mkdir -p $(FUZZBUILD)/corpus-$$t && \
	    echo "== fuzz_$$t ($(FUZZ_LIMIT))" && \
	    $(FUZZ_ENV) $(FUZZBUILD)/fuzz/fuzz_$$t $(FUZZ_LIMIT) -timeout=10 -print_final_stats=1 \
	        -artifact_prefix=$(FUZZBUILD)/ $(FUZZBUILD)/corpus-$$t fuzz/corpus/$$t || exit 1; \
	done

fuzz-merge: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
	    mkdir -p $(FUZZBUILD)/corpus-$$t && \
	    $(FUZZ_ENV) $(FUZZBUILD)/fuzz/fuzz_$$t -merge=1 fuzz/corpus/$$t $(FUZZBUILD)/corpus-$$t || exit 1; \
	done

# A tree of its own, so that the benchmarks never switch on in $(BUILD) for good.
bench: deps
	$(call configure,$(BENCHBUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVA_BENCH=ON -DKORVA_TESTS=OFF)
	cmake --build $(BENCHBUILD) -j $(JOBS)
	@for b in $(BENCHBUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done; true

# A PNG of every generated picture at 2x and the screens composed, for review: $(BUILD)/gamedata-sheet.png
gamedata-sheet: deps $(BUILD)/Makefile
	cmake --build $(BUILD) -j $(JOBS) --target gamedata-sheet

# The Debian package of the game: $(BUILD)/package/korvatron_<version>_<arch>.deb (CPack; see packaging/).
package: build
	cd $(BUILD) && cpack --config CPackConfig.cmake

# Debian's checks of that package, as a report: $(BUILD)/package/lintian.txt.
package-lint: package
	$(call install-missing,$(LINT_PACKAGES))
	lintian --info --display-info --pedantic $(BUILD)/package/korvatron_*.deb | tee $(BUILD)/package/lintian.txt

# The package installed with dpkg in a fresh Debian 12 tree (debootstrap, cached in $(BUILD)/pkgtest),
# started headless by two ordinary users, then removed. See tests/package/run.sh.
package-test: package
	$(call install-missing,$(PACKAGE_TEST_PACKAGES))
	tests/package/run.sh $(BUILD)

# The game in a browser tab: $(WEBBUILD)/korvatron.html with its .js, .wasm and .data, from Debian's
# emscripten. SDL2, zlib, minizip and libmikmod are built from Debian's source packages into
# $(WEB_DEPS) once (web/build-deps.sh, about ten minutes); the game data come from the native build.
web-deps:
	$(call install-missing,$(WEB_PACKAGES))
	JOBS=$(JOBS) web/build-deps.sh $(WEB_DEPS)

web: deps $(BUILD)/Makefile web-deps
	cmake --build $(BUILD) -j $(JOBS) --target korvatron
	@web/em.sh $(WEB_DEPS) emcmake cmake -S web -B $(WEBBUILD)/cmake \
	    -DKORVA_DEPS=$(abspath $(WEB_DEPS))/prefix -DKORVA_GAME_DATA=$(abspath $(BUILD))/game > /dev/null \
	    || { rm -f $(WEBBUILD)/cmake/CMakeCache.txt; echo "make web: configuring $(WEBBUILD)/cmake failed" >&2; exit 1; }
	web/em.sh $(WEB_DEPS) cmake --build $(WEBBUILD)/cmake -j $(JOBS)
	@echo "Built $(WEBBUILD)/korvatron.html: \`make web-serve\` serves it on this machine and prints its address."

# A loopback server for the page (WEB_PORT, 8080 by default); Ctrl-C ends it.
web-serve: web
	python3 web/serve.py $(WEBBUILD) $(WEB_PORT)

# Headless Chromium plays the page and checks it against the native headless run (web/test_web.py).
web-test: web
	$(call install-missing,$(WEB_TEST_PACKAGES))
	python3 web/test_web.py --page $(WEBBUILD) --native $(BUILD)/game/korvatron --out $(WEBBUILD)/test

clean:
	rm -rf $(BUILD) $(SANBUILD) $(FUZZBUILD) $(BENCHBUILD) $(WEBBUILD)
