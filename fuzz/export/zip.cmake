cc_add_fuzzer(fuzz_zipreader SOURCES fuzz_zipreader.cpp RUNS 30000)
