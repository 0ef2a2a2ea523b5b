// IEnumWbemClassObject over a source of objects that yields them in batches: a forward-only
// enumeration holds one batch at a time, however large its extent. Not installed.
#pragma once

#include "repository.h"

#include <wbemcli.h>

#include "../com/unknown.h"

#include <deque>
#include <memory>
#include <mutex>

namespace zp::wbem {

class ObjectSource {
public:
    virtual ~ObjectSource() = default;
    // Appends up to `limit` objects. WBEM_S_NO_ERROR while more may follow, WBEM_S_FALSE once the
    // end is reached (with or without objects appended), WBEM_S_TIMEDOUT when nothing came within
    // `timeout` milliseconds (WBEM_INFINITE: no limit; 0: only what is ready), or a failure.
    virtual HRESULT fetch(std::size_t limit, ULONG timeout, ObjectList& out) = 0;
    // Back to the first object.
    virtual void rewind() = 0;
    // An independent source standing where this one stands.
    virtual std::unique_ptr<ObjectSource> clone() const = 0;
};

// The objects of a list made in advance (classes: few, and small).
std::unique_ptr<ObjectSource> listSource(ObjectList objects);
// The instances of some classes, read from the repository one batch at a time in creation order.
std::unique_ptr<ObjectSource> instanceSource(Repository& repository, NamespaceRef ns,
                                             std::vector<RowId> classes);

class Enumerator final : public com::Unknown<Enumerator, IEnumWbemClassObject> {
public:
    // Forward-only enumerators refuse Reset and Clone, as WMI's do.
    ZP_API static HRESULT create(std::unique_ptr<ObjectSource> source, bool forwardOnly,
                                 IEnumWbemClassObject** enumerator);

    // IEnumWbemClassObject, in the SDK's order
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects,
                                   ULONG* returned) override;
    HRESULT STDMETHODCALLTYPE NextAsync(ULONG count, IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject** copy) override;
    HRESULT STDMETHODCALLTYPE Skip(LONG timeout, ULONG count) override;

private:
    Enumerator(std::unique_ptr<ObjectSource> source, bool forwardOnly);
    friend Unknown;
    ~Enumerator() = default;
    // Moves up to `count` objects out of the buffer, refilling it from the source; `take` gets
    // each object (or drops it, for Skip). The timeout bounds the whole call, however many
    // refills it takes.
    template <class Take>
    HRESULT advance(LONG timeout, ULONG count, ULONG& done, Take&& take);

    std::mutex m_lock;
    std::unique_ptr<ObjectSource> m_source;
    const bool m_forwardOnly;
    std::deque<ComRef<IWbemClassObject>> m_buffer;
    bool m_ended = false;
};

} // namespace zp::wbem
