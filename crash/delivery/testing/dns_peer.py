"""DNS servers on 127.0.0.x for the mail-exchanger lookup tests.

  dns_peer.py --control PORT RULE...

Every server address named in a rule listens on 127.0.0.x, all on one free
port ("port dns N"). A rule is SERVER,QTYPE,QNAME,WHAT,...:
  SERVER,QTYPE,QNAME,an,RTYPE,OWNER,VALUE[,PREF]  an answer record
  SERVER,QTYPE,QNAME,ns,OWNER,NSNAME              an authority NS record
  SERVER,*,*,rcode,N                              reply with code N
  SERVER,*,*,after,OTHER                          reply only after OTHER has
OWNER "-" is the question's name. A question with no rule gets an empty
reply. Every query is an event "query SERVER QTYPE QNAME".
"""
import socket
import sys
import threading

from dnslib import DNSRecord, MX, NS, CNAME, QTYPE, RR

import peer_control

RDATA = {"MX": MX, "NS": NS, "CNAME": CNAME}


def parse(argv):
    control = int(argv[argv.index("--control") + 1])
    rules = [a.split(",") for a in argv[1:] if "," in a]
    return control, rules


def build_reply(request, server, rules):
    question = request.q
    qname = str(question.qname).rstrip(".")
    qtype = QTYPE[question.qtype]
    reply = request.reply()
    for rule in rules:
        if rule[0] != server or rule[1] not in ("*", qtype) or rule[2] not in ("*", qname):
            continue
        what = rule[3]
        if what == "rcode":
            reply.header.rcode = int(rule[4])
        elif what == "an":
            rtype, owner, value = rule[4], rule[5], rule[6]
            owner = qname if owner == "-" else owner
            rdata = MX(value, int(rule[7])) if rtype == "MX" else RDATA[rtype](value)
            reply.add_answer(RR(owner, getattr(QTYPE, rtype), rdata=rdata, ttl=60))
        elif what == "ns":
            owner = qname if rule[4] == "-" else rule[4]
            reply.add_auth(RR(owner, QTYPE.NS, rdata=NS(rule[5]), ttl=60))
    return reply


def serve(sock, server, rules, control, answered):
    waits_for = [r[4] for r in rules if r[0] == server and r[3] == "after"]
    while True:
        data, peer = sock.recvfrom(4096)
        request = DNSRecord.parse(data)
        control.event(f"query {server} {QTYPE[request.q.qtype]} {str(request.q.qname).rstrip('.')}")
        for other in waits_for:
            answered[other].wait(10)
        sock.sendto(build_reply(request, server, rules).pack(), peer)
        answered[server].set()


def main():
    control_port, rules = parse(sys.argv)
    servers = sorted({r[0] for r in rules} | {r[4] for r in rules if r[3] == "after"})
    port, socks = peer_control.free_port_on_all(servers, socket.SOCK_DGRAM)
    control = peer_control.Control(control_port)
    answered = {s: threading.Event() for s in servers}
    for server, sock in zip(servers, socks):
        threading.Thread(target=serve, args=(sock, server, rules, control, answered),
                         daemon=True).start()
    control.announce("dns", port)
    control.serve(lambda request: [])


if __name__ == "__main__":
    main()
