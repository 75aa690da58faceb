# Replies from the network: DNS messages and SMTP replies.
qor_add_fuzzer(delivery_dns_fuzzer SOURCES delivery_dns_fuzzer.cpp LIBS qor_delivery)
qor_add_fuzzer(delivery_smtp_reply_fuzzer SOURCES delivery_smtp_reply_fuzzer.cpp LIBS qor_delivery)
# Crash-server answers (status, Retry-After) and upload queue entries.
qor_add_fuzzer(delivery_upload_fuzzer SOURCES delivery_upload_fuzzer.cpp LIBS qor_delivery)
