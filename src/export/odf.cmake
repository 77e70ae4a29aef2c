cc_add_sources(
    PUBLIC_HEADERS odfwriter.h
    PRIVATE_HEADERS odfwriter_p.h
    SOURCES odfwriter.cpp)
