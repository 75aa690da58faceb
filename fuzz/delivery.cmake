# Replies from the network: DNS messages and SMTP replies.
qor_add_fuzzer(delivery_dns_fuzzer SOURCES delivery_dns_fuzzer.cpp LIBS qor_delivery)
qor_add_fuzzer(delivery_smtp_reply_fuzzer SOURCES delivery_smtp_reply_fuzzer.cpp LIBS qor_delivery)
