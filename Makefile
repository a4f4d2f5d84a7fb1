# Front door for newcomers: everything goes through CMake underneath.
#   make                  optimised build of every program into build/bin
#   make check            build, then run every test (unit and end-to-end)
#   make check SANITIZE=1 the same under AddressSanitizer + UndefinedBehaviorSanitizer
#   make demo             build, then run a typical pipeline on examples/
#   make install PREFIX=/usr/local [DESTDIR=/staging]
#   make uninstall        removes what the last install put there
#   make package          a Debian package and a tarball in build/
#   make bench            timings against peer tools (see bench/README.md)
#   make fuzz             every fuzz target for FUZZ_TIME seconds (default 60)
#   make check-aarch64    cross-build for 64-bit ARM; unit tests and a few
#                         end-to-end files under qemu-user
#   make grammar          regenerates lib/rkl/grammar.cpp from grammar.y (bison)

SHELL    := /bin/bash
MAKEFLAGS += --no-print-directory
SANITIZE ?= 0
PREFIX   ?= /usr/local
DESTDIR  ?=
# Extra CMake settings for a new build directory, e.g. -DRK_TESTS=OFF.
CMAKE_EXTRA ?=
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)

ifeq ($(SANITIZE),1)
BUILD    ?= build-san
CMFLAGS  := -DRK_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
else
BUILD    ?= build
CMFLAGS  := -DCMAKE_BUILD_TYPE=Release
endif

BIN := $(BUILD)/bin

FUZZ_TIME    ?= 60
FUZZ_TARGETS := reader options keys regex rkl format csv stanza json charclass

.PHONY: all configure check demo install uninstall package bench fuzz check-aarch64 grammar clean

# Just the programs (and their manual pages): no test tools needed.
all: configure
	cmake --build $(BUILD) -j $(JOBS) --target programs

# A build directory is configured once; CMake reconfigures it by itself when
# the build files change.
configure:
	@test -f $(BUILD)/CMakeCache.txt || { set -o pipefail; \
	  cmake -S . -B $(BUILD) $(CMFLAGS) $(CMAKE_EXTRA) | { grep '^-- Tests left out' || true; }; }

check: configure
	@if [ -f $(BUILD)/tests-missing ]; then cat $(BUILD)/tests-missing >&2; exit 2; fi
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The sample data is UTF-8.
demo: export LC_ALL := C.UTF-8
demo: all
	@echo '$$ Rkcat -n -F examples/orders.rk examples/customers.rk | Rkhead -3'
	@$(BIN)/Rkcat -n -F examples/orders.rk examples/customers.rk | $(BIN)/Rkhead -3
	@echo '$$ Rktail -2 examples/orders.rk examples/customers.rk'
	@$(BIN)/Rktail -2 examples/orders.rk examples/customers.rk
	@echo '$$ Rkcat -n -g date examples/orders.rk | Rkproj seq,order,date | Rkhead -3'
	@$(BIN)/Rkcat -n -g date examples/orders.rk | $(BIN)/Rkproj seq,order,date | $(BIN)/Rkhead -3
	@echo '$$ Rksort price:nr examples/orders.rk | Rkproj order,price | Rkhead -3'
	@$(BIN)/Rksort price:nr examples/orders.rk | $(BIN)/Rkproj order,price | $(BIN)/Rkhead -3
	@echo '$$ Rkgrep '\''city:(Lyon|Kraków)'\'' examples/customers.rk | Rkproj name,city'
	@$(BIN)/Rkgrep 'city:(Lyon|Kraków)' examples/customers.rk | $(BIN)/Rkproj name,city
	@echo '$$ Rkselect price:n GT 10 examples/orders.rk | Rksort price:nr | Rkproj order,item,price'
	@$(BIN)/Rkselect price:n GT 10 examples/orders.rk | $(BIN)/Rksort price:nr | $(BIN)/Rkproj order,item,price
	@echo '$$ Rked IF EPILOGUE THEN revenue = STATIC r '\'';'\'' OUTPUT ELSE STATIC r = SUM '\''('\'' STATIC r , FIELD price:n '\''*'\'' FIELD qty:n '\'')'\'' FI examples/orders.rk | Rkproj revenue'
	@$(BIN)/Rked IF EPILOGUE THEN revenue = STATIC r ';' OUTPUT ELSE STATIC r = SUM '(' STATIC r , FIELD price:n '*' FIELD qty:n ')' FI examples/orders.rk | $(BIN)/Rkproj revenue
	@echo '$$ RkfromLine '\''item:(10)l,colour:(6)l,price:(7)r,qty:(6)r'\'' examples/stock.txt | Rksort price:nr | RktoLine -p '\''item:(10),colour:(6),price:(7)r,qty:(6)r'\'''
	@$(BIN)/RkfromLine 'item:(10)l,colour:(6)l,price:(7)r,qty:(6)r' examples/stock.txt | $(BIN)/Rksort price:nr | $(BIN)/RktoLine -p 'item:(10),colour:(6),price:(7)r,qty:(6)r'
	@echo '$$ Rkfreq -p customer examples/orders.rk | Rksort count:nr | Rkhead -2'
	@$(BIN)/Rkfreq -p customer examples/orders.rk | $(BIN)/Rksort count:nr | $(BIN)/Rkhead -2
	@echo '$$ Rksort customer examples/orders.rk | Rkmeans -g customer price,qty | Rkhead -1'
	@$(BIN)/Rksort customer examples/orders.rk | $(BIN)/Rkmeans -g customer price,qty | $(BIN)/Rkhead -1
	@echo '$$ Rksort customer examples/orders.rk | Rkjoin customer - examples/customers.rk | Rkproj order,name,city | Rkhead -2'
	@$(BIN)/Rksort customer examples/orders.rk | $(BIN)/Rkjoin customer - examples/customers.rk | $(BIN)/Rkproj order,name,city | $(BIN)/Rkhead -2
	@echo '$$ RkfromCsv examples/suppliers.csv | Rkselect city NE Aarhus | RktoCsv'
	@$(BIN)/RkfromCsv examples/suppliers.csv | $(BIN)/Rkselect city NE Aarhus | $(BIN)/RktoCsv
	@echo '$$ RkfromStanza examples/packages.txt | Rkselect Section == text | Rkproj Package,Version,Description | RktoStanza'
	@$(BIN)/RkfromStanza examples/packages.txt | $(BIN)/Rkselect Section == text | $(BIN)/Rkproj Package,Version,Description | $(BIN)/RktoStanza
	@echo '$$ RkfromJson examples/films.jsonl | Rkselect year:n GT 2000 | Rkproj title,gross.us | RktoJson -u .'
	@$(BIN)/RkfromJson examples/films.jsonl | $(BIN)/Rkselect year:n GT 2000 | $(BIN)/Rkproj title,gross.us | $(BIN)/RktoJson -u .
	@echo '$$ Rkproj order,item,price examples/orders.rk | Rkhead -2 | RktoTex -r endorder'
	@$(BIN)/Rkproj order,item,price examples/orders.rk | $(BIN)/Rkhead -2 | $(BIN)/RktoTex -r endorder
	@echo '$$ Rksort customer examples/orders.rk | Rkproj customer,tag | Rkbundle customer | Rkpack -t , tag | Rkhead -3'
	@$(BIN)/Rksort customer examples/orders.rk | $(BIN)/Rkproj customer,tag | $(BIN)/Rkbundle customer | $(BIN)/Rkpack -t , tag | $(BIN)/Rkhead -3
	@echo '$$ Rkfd -e examples/customers.rk | Rkproj fieldname,exists,maxlen,attribute,NAsc | RktoCsv'
	@$(BIN)/Rkfd -e examples/customers.rk | $(BIN)/Rkproj fieldname,exists,maxlen,attribute,NAsc | $(BIN)/RktoCsv
	@echo '$$ Rksort customer examples/orders.rk | Rkprint -g customer -p item,price,qty -x 44 -y 9 -n'
	@$(BIN)/Rksort customer examples/orders.rk | $(BIN)/Rkprint -g customer -p item,price,qty -x 44 -y 9 -n

install: all
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# The install manifest names every file the last install wrote, without
# DESTDIR: give the same DESTDIR as to make install.
uninstall:
	@test -f $(BUILD)/install_manifest.txt || { echo "nothing was installed from $(BUILD)" >&2; exit 2; }
	@while IFS= read -r f || [ -n "$$f" ]; do rm -f -- "$(DESTDIR)$$f"; done < $(BUILD)/install_manifest.txt
	@rm -f $(BUILD)/install_manifest.txt

package: all
	cd $(BUILD) && cpack

bench: all
	bench/run.sh

# Each target starts from its seed corpus in fuzz/corpus/<name>/ and keeps
# what it finds in build-fuzz/corpus/<name>/; any finding fails the run and
# leaves the input in build-fuzz/artifacts/.
fuzz:
	cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	    -DRK_FUZZ=ON -DRK_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	cmake --build build-fuzz -j $(JOBS)
	@mkdir -p build-fuzz/artifacts
	@for t in $(FUZZ_TARGETS); do \
	    mkdir -p build-fuzz/corpus/$$t; \
	    echo "fuzz_$$t: $(FUZZ_TIME) s"; \
	    build-fuzz/fuzz/fuzz_$$t -max_total_time=$(FUZZ_TIME) -max_len=4096 -close_fd_mask=3 \
	        -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/$$t- \
	        build-fuzz/corpus/$$t fuzz/corpus/$$t 2>&1 | grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)' ; \
	    test $${PIPESTATUS[0]} -eq 0 || exit 1; \
	done

# No x86-only code can creep in: the suite built for 64-bit ARM (Debian's
# cross compiler; GoogleTest from its sources) runs its unit tests and the
# end-to-end files below under qemu-user.
CROSS_E2E := rkcat rkhead rkproj rkrename rkgrep rkcat_group
check-aarch64:
	cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
	    -DRK_GTEST_SOURCE=/usr/src/googletest -DCMAKE_BUILD_TYPE=Release > /dev/null
	cmake --build build-aarch64 -j $(JOBS)
	cd build-aarch64 && ctest -j $(JOBS) --output-on-failure -E '^e2e[.]'
	tests/cross/e2e-under-qemu.sh build-aarch64/bin /usr/aarch64-linux-gnu $(CROSS_E2E)

# The Rkl parser is generated source kept in the tree: building needs no
# bison, only changing the grammar does.
grammar:
	cd lib/rkl && bison -Wall -o grammar.cpp grammar.y

clean:
	rm -rf build build-san build-fuzz build-aarch64 build-bare
