find_package(ZLIB REQUIRED)

cc_add_benchmark(bench_zip SOURCES bench_zip.cpp LIBS ZLIB::ZLIB)
