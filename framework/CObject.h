#pragma once

// The framework's run-time class record: a class name and its base's record, so that an object
// can say what it is without compiler RTTI.
struct CRuntimeClass {
    const char* className;
    const CRuntimeClass* baseClass;

    bool IsDerivedFrom(const CRuntimeClass* other) const;
};

// Root of the framework's classes.
class CObject {
public:
    CObject() = default;
    virtual ~CObject() = default;
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;

    virtual const CRuntimeClass* GetRuntimeClass() const;
    bool IsKindOf(const CRuntimeClass* runtimeClass) const;

    static const CRuntimeClass classCObject;
};

// In a class body: the class's record and its query. In its .cpp: the record itself.
#define DECLARE_RUNTIME_CLASS(name)                                                                \
public:                                                                                            \
    static const CRuntimeClass class##name;                                                        \
    const CRuntimeClass* GetRuntimeClass() const override {                                        \
        return &class##name;                                                                       \
    }
#define IMPLEMENT_RUNTIME_CLASS(name, base)                                                        \
    const CRuntimeClass name::class##name = {#name, &base::class##base};
