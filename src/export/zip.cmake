cc_add_sources(
    PUBLIC_HEADERS zipreader.h zipwriter.h
    PRIVATE_HEADERS ziparchivedata_p.h
    SOURCES ziparchivedata.cpp zipreader.cpp zipwriter.cpp)
