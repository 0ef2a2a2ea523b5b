// Enumerators and their sources; see enumerator.h.
#include "enumerator.h"

#include <chrono>
#include <new>

namespace zp::wbem {
namespace {

// How many objects one refill reads: enough to make each read transaction worth its cost,
// few enough that a forward-only enumeration stays small.
constexpr std::size_t kBatch = 1024;

class ListSource final : public ObjectSource {
public:
    explicit ListSource(std::shared_ptr<const ObjectList> objects, std::size_t at = 0)
        : m_objects(std::move(objects)), m_at(at) {}

    HRESULT fetch(std::size_t limit, ULONG, ObjectList& out) override {
        for (; limit > 0 && m_at < m_objects->size(); --limit, ++m_at) {
            // Each enumeration hands out objects of its own, as WMI's do.
            ComRef<IWbemClassObject> copy;
            const HRESULT hr = (*m_objects)[m_at]->Clone(copy.put());
            if (FAILED(hr))
                return hr;
            out.push_back(std::move(copy));
        }
        return m_at < m_objects->size() ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
    }
    void rewind() override { m_at = 0; }
    std::unique_ptr<ObjectSource> clone() const override {
        return std::make_unique<ListSource>(m_objects, m_at);
    }

private:
    std::shared_ptr<const ObjectList> m_objects;
    std::size_t m_at;
};

class InstanceSource final : public ObjectSource {
public:
    InstanceSource(Repository& repository, NamespaceRef ns, std::vector<RowId> classes)
        : m_repository(repository), m_ns(std::move(ns)), m_classes(std::move(classes)) {}

    HRESULT fetch(std::size_t limit, ULONG, ObjectList& out) override {
        const std::size_t before = out.size();
        const HRESULT hr = m_repository.instances(m_ns, m_classes, m_after, limit, out);
        if (FAILED(hr))
            return hr;
        return out.size() - before < limit ? WBEM_S_FALSE : WBEM_S_NO_ERROR;
    }
    void rewind() override { m_after = 0; }
    std::unique_ptr<ObjectSource> clone() const override {
        auto copy = std::make_unique<InstanceSource>(m_repository, m_ns, m_classes);
        copy->m_after = m_after;
        return copy;
    }

private:
    Repository& m_repository;
    NamespaceRef m_ns;
    std::vector<RowId> m_classes;
    RowId m_after = 0; // the last instance read: the next batch starts after it
};

} // namespace

std::unique_ptr<ObjectSource> listSource(ObjectList objects) {
    return std::make_unique<ListSource>(std::make_shared<const ObjectList>(std::move(objects)));
}

std::unique_ptr<ObjectSource> instanceSource(Repository& repository, NamespaceRef ns,
                                             std::vector<RowId> classes) {
    return std::make_unique<InstanceSource>(repository, std::move(ns), std::move(classes));
}

Enumerator::Enumerator(std::unique_ptr<ObjectSource> source, bool forwardOnly)
    : m_source(std::move(source)), m_forwardOnly(forwardOnly) {}

HRESULT Enumerator::create(std::unique_ptr<ObjectSource> source, bool forwardOnly,
                           IEnumWbemClassObject** enumerator) {
    Enumerator* made = new (std::nothrow) Enumerator(std::move(source), forwardOnly);
    if (!made)
        return WBEM_E_OUT_OF_MEMORY;
    *enumerator = made;
    return WBEM_S_NO_ERROR;
}

HRESULT STDMETHODCALLTYPE Enumerator::Reset() {
    if (m_forwardOnly)
        return WBEM_E_INVALID_OPERATION;
    std::lock_guard<std::mutex> guard(m_lock);
    m_buffer.clear();
    m_ended = false;
    m_source->rewind();
    return WBEM_S_NO_ERROR;
}

template <class Take>
HRESULT Enumerator::advance(LONG timeout, ULONG count, ULONG& done, Take&& take) {
    using Clock = std::chrono::steady_clock;
    done = 0;
    const bool forever = timeout == static_cast<LONG>(WBEM_INFINITE);
    if (timeout < 0 && !forever)
        return WBEM_E_INVALID_PARAMETER;
    // One deadline for the call: a source that trickles objects in, one per refill, must not
    // stretch a caller's timeout to one timeout per object.
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(forever ? 0 : timeout);
    std::lock_guard<std::mutex> guard(m_lock);
    while (done < count) {
        if (m_buffer.empty()) {
            if (m_ended)
                return WBEM_S_FALSE;
            ULONG wait = WBEM_INFINITE;
            if (!forever) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
                wait = left > 0 ? static_cast<ULONG>(left) : 0;
            }
            ObjectList batch;
            const HRESULT hr = m_source->fetch(kBatch, wait, batch);
            if (FAILED(hr))
                return hr;
            for (auto& object : batch)
                m_buffer.push_back(std::move(object));
            if (hr == WBEM_S_FALSE)
                m_ended = true;
            if (hr == WBEM_S_TIMEDOUT && m_buffer.empty())
                return WBEM_S_TIMEDOUT;
            continue;
        }
        take(done, std::move(m_buffer.front()));
        m_buffer.pop_front();
        ++done;
    }
    return WBEM_S_NO_ERROR;
}

HRESULT STDMETHODCALLTYPE Enumerator::Next(LONG timeout, ULONG count, IWbemClassObject** objects,
                                           ULONG* returned) {
    if (!objects || !returned)
        return WBEM_E_INVALID_PARAMETER;
    *returned = 0;
    return advance(timeout, count, *returned, [&](ULONG index, ComRef<IWbemClassObject> object) {
        objects[index] = object.detach();
    });
}

HRESULT STDMETHODCALLTYPE Enumerator::NextAsync(ULONG count, IWbemObjectSink* sink) {
    if (!sink)
        return WBEM_E_INVALID_PARAMETER;
    ObjectList taken;
    ULONG done = 0;
    const HRESULT hr = advance(
        static_cast<LONG>(WBEM_INFINITE), count, done,
        [&](ULONG, ComRef<IWbemClassObject> object) { taken.push_back(std::move(object)); });
    if (FAILED(hr))
        return hr;
    std::vector<IWbemClassObject*> pointers;
    for (const auto& object : taken)
        pointers.push_back(object.get());
    if (!pointers.empty())
        sink->Indicate(static_cast<LONG>(pointers.size()), pointers.data());
    sink->SetStatus(WBEM_STATUS_COMPLETE, WBEM_S_NO_ERROR, nullptr, nullptr);
    return hr;
}

HRESULT STDMETHODCALLTYPE Enumerator::Clone(IEnumWbemClassObject** copy) {
    if (!copy)
        return WBEM_E_INVALID_PARAMETER;
    *copy = nullptr;
    if (m_forwardOnly)
        return WBEM_E_INVALID_OPERATION;
    std::lock_guard<std::mutex> guard(m_lock);
    Enumerator* made = new (std::nothrow) Enumerator(m_source->clone(), false);
    if (!made)
        return WBEM_E_OUT_OF_MEMORY;
    // The copy starts where this one stands: at the first object still buffered here.
    for (const auto& object : m_buffer) {
        ComRef<IWbemClassObject> own;
        const HRESULT hr = object->Clone(own.put());
        if (FAILED(hr)) {
            made->Release();
            return hr;
        }
        made->m_buffer.push_back(std::move(own));
    }
    made->m_ended = m_ended;
    *copy = made;
    return WBEM_S_NO_ERROR;
}

HRESULT STDMETHODCALLTYPE Enumerator::Skip(LONG timeout, ULONG count) {
    ULONG done = 0;
    return advance(timeout, count, done, [](ULONG, ComRef<IWbemClassObject>) {});
}

} // namespace zp::wbem
