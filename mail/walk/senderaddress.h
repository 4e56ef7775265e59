// The address of the client that handed a message to the first mail server, from its trace fields.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the from clause of one trace field gives.
enum class ClauseAddress {
    kNone,      // no address: the next field is read
    kFound,     // *address holds one
    kEndSearch, // a run of digits and dots of a length no address has: the search ends
};

// The address in the last "[...]" before the last ')' of a from clause, as a.b.c.d = a<<24 | ... | d.
ClauseAddress AddressOfFromClause(const std::string& from, uint32_t* address);

// The sending client's address from the from clauses of the trace fields, the last field first:
// the first public address, else the last private one (10/8, 172.16/12, 192.168/16), else the first
// loopback one; 0 when there is none.
uint32_t SenderAddressOfClauses(const std::vector<std::string>& fromClausesLastFirst);
