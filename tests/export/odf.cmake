cc_add_test(tst_odfwriter SOURCES tst_odfwriter.cpp tst_odfwriter.qrc TIMEOUT 120)
# Independent readers: Python's zipfile and minidom, LibreOffice and poppler.
cc_add_test(tst_odfwriter_readers SOURCES tst_odfwriter_readers.cpp TIMEOUT 600)
