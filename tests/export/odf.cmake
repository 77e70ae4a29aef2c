cc_add_test(tst_odfwriter SOURCES tst_odfwriter.cpp tst_odfwriter_support.h tst_odfwriter.qrc TIMEOUT 120)
