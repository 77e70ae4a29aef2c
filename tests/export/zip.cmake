find_package(ZLIB REQUIRED)

cc_add_test(tst_zipreader SOURCES tst_zipreader.cpp ziptestsupport.h LIBS ZLIB::ZLIB TIMEOUT 300)
cc_add_test(tst_zipwriter SOURCES tst_zipwriter.cpp ziptestsupport.h LIBS ZLIB::ZLIB TIMEOUT 300)
