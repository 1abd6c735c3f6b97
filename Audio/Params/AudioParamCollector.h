#pragma once
// CAudioParamCollector (tag audio:param-collector): every runtime parameter
// of a plug-in instance by full name, and the listeners of their value
// changes.
//
// Parameters are registered by whoever creates them (the process graph) and
// unregister themselves when destroyed; the collector never owns them.
// Whoever changes a value calls notifyChanged, which informs the parameter's
// listeners and those of every parameter.
//
// Threads: registration and lookup on the thread that builds the instance.
// notifyChanged may run on any thread; the listener lists are guarded by a
// lock that is held while listeners run, so a listener must neither add nor
// remove listeners from inside its callback.

#include <map>
#include <vector>

#include "Audio/Params/AudioParam.h"
#include "Core/Object.h"
#include "Platform/Sync.h"

KELSTR(CAudioParamCollector_registerParam_DupeName, "Duplicate audio parameter name '%1'.");

class CAudioParamChangeQueue;

class CAudioParamListener {
public:
    virtual ~CAudioParamListener() = default;
    virtual void paramChanged(CAudioParam& param) = 0;
};

class CAudioParamCollector : public CObject {
public:
    ~CAudioParamCollector() override;

    CError registerParam(CAudioParam* param);
    void unregisterParam(CAudioParam* param);
    CAudioParam* findParam(const CString& fullName) const;
    size_t paramCount() const { return m_params.size(); }
    // Parameters whose full names start with prefix, in ascending name order
    // (an empty prefix gives all).
    std::vector<CAudioParam*> paramsWithPrefix(const CString& prefix) const;

    // Listens to one parameter, or to every parameter when param is nullptr.
    void addListener(CAudioParam* param, CAudioParamListener* listener);
    // Removes the listener's subscription to param (nullptr: every one).
    void removeListener(CAudioParamListener* listener, CAudioParam* param = nullptr);
    void notifyChanged(CAudioParam& param);

    // The queue through which main-thread changes reach the audio thread
    // (Audio/AudioParamChangeSet.h); nullptr until the plug-in core sets one.
    // Not owned.
    CAudioParamChangeQueue* changeQueue() const { return m_changeQueue; }
    void setChangeQueue(CAudioParamChangeQueue* queue) { m_changeQueue = queue; }

    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

private:
    struct Subscription {
        CAudioParam* param;  // nullptr: every parameter
        CAudioParamListener* listener;
    };

    std::map<CString, CAudioParam*> m_params;
    mutable plat::CCritSec m_listenerLock{4000};
    std::vector<Subscription> m_subscriptions;
    CAudioParamChangeQueue* m_changeQueue = nullptr;
};
