// Events of the embedded WMI service. Not installed.
//
// What is indicated on the sink that QueryObjectSink gives, and the intrinsic events that
// instance writes raise, are rows of the repository database's events table, written in the
// transaction of the call that raised them. Consumers anywhere on the machine read the rows that
// follow the sequence number current when their query began (their watermark), so an event
// reaches every matching consumer once, and none sees an event from before its query.
//
// Each process with consumers keeps one reader thread per repository, which polls the table
// every few milliseconds and hands each new event to the matching consumers of the process:
// notification enumerators wait on their queue, and asynchronous subscriptions have a delivery
// thread of their own that calls the caller's sink. The reader stops when the last consumer of
// the process goes.
//
// Retention is bounded twice: the table keeps the newest events only (by number and by age),
// and each consumer's queue keeps the newest events only, so a consumer that stops reading
// neither blocks producers nor grows the database or the process.
#pragma once

#include "repository.h"

namespace zp::wbem {

enum class InstanceChange { Created, Modified, Deleted };

// Stores the intrinsic event of an instance write in the write's own transaction: the caller
// checks `Transaction::instanceEventsWanted` first, so that nobody pays while nobody listens.
// `target` is the instance as written (as it was, for a deletion); `previous` the instance
// before a modification. An event that cannot be made is dropped; the write goes on. Throws
// StoreError as the store does.
void recordInstanceEvent(Transaction& t, const NamespaceRef& ns, InstanceChange change,
                         IWbemClassObject* target, IWbemClassObject* previous);

// How long the events table keeps events, and how many each consumer's queue holds at most.
constexpr std::int64_t kRetainedEvents = 10000;
constexpr std::int64_t kRetainedMilliseconds = 10 * 60 * 1000;
constexpr std::size_t kQueuedEvents = 4096;

} // namespace zp::wbem
