// taskschd.h: the Task Scheduler 2.0 interfaces, methods in the documented vtable order.
#pragma once

#include "com.h"

inline constexpr CLSID CLSID_TaskScheduler = {
    0x0F87369F, 0xA4E5, 0x4CFC, {0xBD, 0x3E, 0x73, 0xE6, 0x15, 0x45, 0x72, 0xDD}};
inline constexpr IID IID_ITaskService = {0x2FABA4C7, 0x4DA9, 0x4013, {0x96, 0x97, 0x20, 0xCC, 0x3F, 0xD4, 0x0F, 0x85}};
inline constexpr IID IID_ITaskFolder = {0x8CFAC062, 0xA080, 0x4C15, {0x9A, 0x88, 0xAA, 0x7C, 0x2A, 0xF8, 0x0D, 0xFC}};
inline constexpr IID IID_IRegisteredTask = {
    0x9C86F320, 0xDEE3, 0x4DD1, {0xB9, 0x72, 0xA3, 0x03, 0xF2, 0x6B, 0x06, 0x1E}};
inline constexpr IID IID_IRunningTask = {0x653758FB, 0x7B9A, 0x4F1E, {0xA4, 0x71, 0xBE, 0xEB, 0x8E, 0x9B, 0x83, 0x4E}};
inline constexpr IID IID_IRunningTaskCollection = {
    0x6A67614B, 0x6828, 0x4FEC, {0xAA, 0x54, 0x6D, 0x52, 0xE8, 0xF1, 0xF2, 0xDB}};
inline constexpr IID IID_IRegisteredTaskCollection = {
    0x86627EB4, 0x42A7, 0x41E4, {0xA4, 0xD9, 0xAC, 0x33, 0xA7, 0x2F, 0x2D, 0x52}};
inline constexpr IID IID_ITaskFolderCollection = {
    0x79184A66, 0x8664, 0x423F, {0x97, 0xF1, 0x63, 0x73, 0x56, 0xA5, 0xD8, 0x12}};

enum TASK_ENUM_FLAGS {
    TASK_ENUM_HIDDEN = 0x1,
};

enum TASK_RUN_FLAGS {
    TASK_RUN_NO_FLAGS = 0,
    TASK_RUN_AS_SELF = 0x1,
    TASK_RUN_IGNORE_CONSTRAINTS = 0x2,
    TASK_RUN_USE_SESSION_ID = 0x4,
    TASK_RUN_USER_SID = 0x8,
};

enum TASK_CREATION {
    TASK_VALIDATE_ONLY = 0x1,
    TASK_CREATE = 0x2,
    TASK_UPDATE = 0x4,
    TASK_CREATE_OR_UPDATE = 0x6,
    TASK_DISABLE = 0x8,
    TASK_DONT_ADD_PRINCIPAL_ACE = 0x10,
    TASK_IGNORE_REGISTRATION_TRIGGERS = 0x20,
};

enum TASK_LOGON_TYPE {
    TASK_LOGON_NONE = 0,
    TASK_LOGON_PASSWORD = 1,
    TASK_LOGON_S4U = 2,
    TASK_LOGON_INTERACTIVE_TOKEN = 3,
    TASK_LOGON_GROUP = 4,
    TASK_LOGON_SERVICE_ACCOUNT = 5,
    TASK_LOGON_INTERACTIVE_TOKEN_OR_PASSWORD = 6,
};

enum TASK_STATE {
    TASK_STATE_UNKNOWN = 0,
    TASK_STATE_DISABLED = 1,
    TASK_STATE_QUEUED = 2,
    TASK_STATE_READY = 3,
    TASK_STATE_RUNNING = 4,
};

// Interfaces that winemu names but does not provide.
struct ITaskDefinition;
struct IRegisteredTask;
struct ITaskFolder;

// Items are numbered from 1, as VT_I4 indexes (a BSTR index names a task or folder).
struct IRegisteredTaskCollection : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, IRegisteredTask** task) = 0;
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** penum) = 0;
};

struct ITaskFolderCollection : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, ITaskFolder** folder) = 0;
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** penum) = 0;
};

struct IRunningTask : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* pName) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InstanceGuid(BSTR* pGuid) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Path(BSTR* pPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_State(TASK_STATE* pState) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentAction(BSTR* pName) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE Refresh() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_EnginePID(DWORD* pPID) = 0;
};

// Items are numbered from 1.
struct IRunningTaskCollection : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, IRunningTask** ppRunningTask) = 0;
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** penum) = 0;
};

struct IRegisteredTask : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* pName) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Path(BSTR* pPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_State(TASK_STATE* pState) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* pEnabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE Run(VARIANT params, IRunningTask** ppRunningTask) = 0;
    virtual HRESULT STDMETHODCALLTYPE RunEx(VARIANT params, LONG flags, LONG sessionID, BSTR user,
                                            IRunningTask** ppRunningTask) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInstances(LONG flags, IRunningTaskCollection** ppRunningTasks) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LastRunTime(DATE* pLastRunTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LastTaskResult(LONG* pLastTaskResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NumberOfMissedRuns(LONG* pNumberOfMissedRuns) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NextRunTime(DATE* pNextRunTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Definition(ITaskDefinition** ppDefinition) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Xml(BSTR* pXml) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSecurityDescriptor(LONG securityInformation, BSTR* pSddl) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSecurityDescriptor(BSTR sddl, LONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop(LONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRunTimes(const LPSYSTEMTIME pstStart, const LPSYSTEMTIME pstEnd, DWORD* pCount,
                                                  LPSYSTEMTIME* pRunTimes) = 0;
};

struct ITaskFolder : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* pName) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Path(BSTR* pPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFolder(BSTR path, ITaskFolder** ppFolder) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFolders(LONG flags, ITaskFolderCollection** ppFolders) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateFolder(BSTR subFolderName, VARIANT sddl, ITaskFolder** ppFolder) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteFolder(BSTR subFolderName, LONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTask(BSTR path, IRegisteredTask** ppTask) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTasks(LONG flags, IRegisteredTaskCollection** ppTasks) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteTask(BSTR name, LONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterTask(BSTR path, BSTR xmlText, LONG flags, VARIANT userId,
                                                   VARIANT password, TASK_LOGON_TYPE logonType, VARIANT sddl,
                                                   IRegisteredTask** ppTask) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterTaskDefinition(BSTR path, ITaskDefinition* pDefinition, LONG flags,
                                                             VARIANT userId, VARIANT password,
                                                             TASK_LOGON_TYPE logonType, VARIANT sddl,
                                                             IRegisteredTask** ppTask) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSecurityDescriptor(LONG securityInformation, BSTR* pSddl) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSecurityDescriptor(BSTR sddl, LONG flags) = 0;
};

struct ITaskService : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetFolder(BSTR path, ITaskFolder** ppFolder) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRunningTasks(LONG flags, IRunningTaskCollection** ppRunningTasks) = 0;
    virtual HRESULT STDMETHODCALLTYPE NewTask(DWORD flags, ITaskDefinition** ppDefinition) = 0;
    virtual HRESULT STDMETHODCALLTYPE Connect(VARIANT serverName, VARIANT user, VARIANT domain, VARIANT password) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Connected(VARIANT_BOOL* pConnected) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_TargetServer(BSTR* pServer) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ConnectedUser(BSTR* pUser) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ConnectedDomain(BSTR* pDomain) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HighestVersion(DWORD* pVersion) = 0;
};
