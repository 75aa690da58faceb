# Packed blocks, raw inflation, text deciphering, the list and search routines,
# and the quantiser with the screenshot encoding.
qor_add_fuzzer(attach_unpack_fuzzer SOURCES attach_unpack_fuzzer.cpp LIBS qor_attach)
qor_add_fuzzer(attach_inflate_fuzzer SOURCES attach_inflate_fuzzer.cpp LIBS qor_attach)
qor_add_fuzzer(attach_decrypt_fuzzer SOURCES attach_decrypt_fuzzer.cpp LIBS qor_attach)
qor_add_fuzzer(attach_text_fuzzer SOURCES attach_text_fuzzer.cpp LIBS qor_attach)
qor_add_fuzzer(attach_screenshot_fuzzer SOURCES attach_screenshot_fuzzer.cpp
               LIBS qor_attach_testing)
