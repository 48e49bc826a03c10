# make run   installs what is missing, builds, runs "ostrane.exe detect" under Wine
# make demo  "ostrane.exe detect" on six real identities of the sample (root)
# make test  installs what is missing, builds both presets, runs every test
# make bench runs the benchmarks; BENCH_PROFILES=DIR times detect's start-up
#            on another profile directory than ./profiles
# make dist  builds build/windows/dist/ostrane-2.2.1-win64.zip and checks it unpacked
# make catalogue  writes build/catalogue/index.html, the collection as one page
# make soak-tests RUNS=10  runs the tests that start the most Wine processes
#            RUNS times side by side and counts failures by their signature
SHELL := /bin/bash
.DEFAULT_GOAL := build

WINE_RUN := tools/wine-run
EXE := build/windows/ostrane.exe

.PHONY: deps test-deps build windows windows-exe host run demo test soak-tests dist catalogue bench fuzz lint clean

deps:
	@scripts/install-deps.sh build

test-deps:
	@scripts/install-deps.sh test
	@scripts/install-pwsh.sh || echo "install-pwsh: failed, the PowerShell script tests will be skipped" >&2
	@scripts/install-pwsh-host.sh || echo "install-pwsh-host: failed, the real PowerShell tests will be skipped" >&2
	@scripts/install-browser-test.sh || echo "install-browser-test: failed, the catalogue's browser test will be skipped" >&2

windows:
	cmake --preset windows >/dev/null
	cmake --build --preset windows

# ostrane.exe alone, without the test programs of the preset.
windows-exe:
	cmake --preset windows >/dev/null
	cmake --build --preset windows --target ostrane

host:
	cmake --preset host >/dev/null
	cmake --build --preset host

build: deps windows

run: deps windows-exe
	@tools/wine-prefix setup
	$(WINE_RUN) $(EXE) detect; status=$$?; tools/wine-prefix stop; exit $$status

demo: deps windows-exe
	scripts/demo.sh

test: test-deps windows host
	@status=0; \
	ctest --preset windows || status=1; \
	ctest --preset host || status=1; \
	tools/wine-prefix stop; \
	exit $$status

soak-tests: test-deps windows host
	tools/soak-tests $(or $(RUNS),10)

# The collection as one page to look at: build/catalogue/index.html.
catalogue:
	@scripts/install-deps.sh catalogue
	python3 scripts/make-catalogue.py --out build/catalogue/index.html

dist: test-deps windows
	cd build/windows && cpack
	tests/dist/check_dist.sh build/windows/dist/ostrane-2.2.1-win64.zip

bench: test-deps
	cmake --preset bench >/dev/null
	cmake --build --preset bench
	@for b in build/bench/bench/*_bench; do $$b; done
	build/bench/bench/load_phases $(or $(BENCH_PROFILES),profiles)
	build/bench/bench/hostile_profiles $(or $(BENCH_PROFILES),profiles)
	cmake --preset windows >/dev/null
	cmake --build --preset windows --target ostrane service_roundtrip load_phases hostile_profiles
	bench/wine_startup.sh $(if $(BENCH_PROFILES),--profiles '$(BENCH_PROFILES)') build/windows/ostrane.exe
	bench/grown_collection.sh $(or $(BENCH_PROFILES),profiles) build/bench/profiles-x3
	bench/wine_startup.sh --profiles build/bench/profiles-x3 build/windows/ostrane.exe
	@tools/wine-prefix setup; \
	$(WINE_RUN) build/windows/bench/load_phases.exe $(or $(BENCH_PROFILES),profiles) && \
	$(WINE_RUN) build/windows/bench/hostile_profiles.exe $(or $(BENCH_PROFILES),profiles); \
	status=$$?; tools/wine-prefix stop; exit $$status
	@tools/wine-prefix setup; \
	$(WINE_RUN) build/windows/bench/service_roundtrip.exe; status=$$?; tools/wine-prefix stop; exit $$status

fuzz:
	@scripts/install-deps.sh fuzz
	fuzz/run.sh $(FUZZ_SECONDS)

lint:
	@scripts/install-deps.sh lint
	scripts/lint.sh

clean:
	rm -rf build
