find_package(ZLIB REQUIRED)

cc_add_test(tst_zip SOURCES tst_zip.cpp LIBS ZLIB::ZLIB TIMEOUT 300)
