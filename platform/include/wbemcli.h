// The WMI client interfaces: status codes, flags, CIM types and the interfaces through which a
// client reaches the WMI service, with the names, values, identifiers and method order of the
// Windows SDK (a method's place in its interface is part of the binary contract).
#pragma once

#include "objbase.h"
#include "oleauto.h"

#ifdef __cplusplus
struct IWbemClassObject;
struct IWbemQualifierSet;
struct IWbemLocator;
struct IWbemObjectSink;
struct IEnumWbemClassObject;
struct IWbemContext;
struct IWbemCallResult;
struct IWbemServices;
struct IWbemObjectTextSrc;
#endif

// Status codes are HRESULTs: the failures are negative, as Windows' compilers make them.

typedef enum tag_WBEM_GENUS_TYPE { WBEM_GENUS_CLASS = 1, WBEM_GENUS_INSTANCE = 2 } WBEM_GENUS_TYPE;
typedef enum tag_WBEM_CHANGE_FLAG_TYPE {
    WBEM_FLAG_CREATE_OR_UPDATE = 0,
    WBEM_FLAG_UPDATE_ONLY = 0x1,
    WBEM_FLAG_CREATE_ONLY = 0x2,
    WBEM_FLAG_UPDATE_COMPATIBLE = 0x0,
    WBEM_FLAG_UPDATE_SAFE_MODE = 0x20,
    WBEM_FLAG_UPDATE_FORCE_MODE = 0x40,
    WBEM_MASK_UPDATE_MODE = 0x60,
    WBEM_FLAG_ADVISORY = 0x10000
} WBEM_CHANGE_FLAG_TYPE;
typedef enum tag_WBEM_GENERIC_FLAG_TYPE {
    WBEM_FLAG_RETURN_IMMEDIATELY = 0x10,
    WBEM_FLAG_RETURN_WBEM_COMPLETE = 0,
    WBEM_FLAG_BIDIRECTIONAL = 0,
    WBEM_FLAG_FORWARD_ONLY = 0x20,
    WBEM_FLAG_NO_ERROR_OBJECT = 0x40,
    WBEM_FLAG_RETURN_ERROR_OBJECT = 0,
    WBEM_FLAG_SEND_STATUS = 0x80,
    WBEM_FLAG_DONT_SEND_STATUS = 0,
    WBEM_FLAG_ENSURE_LOCATABLE = 0x100,
    WBEM_FLAG_DIRECT_READ = 0x200,
    WBEM_FLAG_SEND_ONLY_SELECTED = 0,
    WBEM_RETURN_WHEN_COMPLETE = 0,
    WBEM_RETURN_IMMEDIATELY = 0x10,
    WBEM_MASK_RESERVED_FLAGS = 0x1f000,
    WBEM_FLAG_USE_AMENDED_QUALIFIERS = 0x20000,
    WBEM_FLAG_STRONG_VALIDATION = 0x100000
} WBEM_GENERIC_FLAG_TYPE;
typedef enum tag_WBEM_STATUS_TYPE {
    WBEM_STATUS_COMPLETE = 0,
    WBEM_STATUS_REQUIREMENTS = 1,
    WBEM_STATUS_PROGRESS = 2,
    WBEM_STATUS_LOGGING_INFORMATION = 0x100,
    WBEM_STATUS_LOGGING_INFORMATION_PROVIDER = 0x200,
    WBEM_STATUS_LOGGING_INFORMATION_HOST = 0x400,
    WBEM_STATUS_LOGGING_INFORMATION_REPOSITORY = 0x800,
    WBEM_STATUS_LOGGING_INFORMATION_ESS = 0x1000
} WBEM_STATUS_TYPE;
typedef enum tag_WBEM_TIMEOUT_TYPE {
    WBEM_NO_WAIT = 0,
    WBEM_INFINITE = 0xffffffff
} WBEM_TIMEOUT_TYPE;
typedef enum tag_WBEM_CONDITION_FLAG_TYPE {
    WBEM_FLAG_ALWAYS = 0,
    WBEM_FLAG_ONLY_IF_TRUE = 0x1,
    WBEM_FLAG_ONLY_IF_FALSE = 0x2,
    WBEM_FLAG_ONLY_IF_IDENTICAL = 0x3,
    WBEM_MASK_PRIMARY_CONDITION = 0x3,
    WBEM_FLAG_KEYS_ONLY = 0x4,
    WBEM_FLAG_REFS_ONLY = 0x8,
    WBEM_FLAG_LOCAL_ONLY = 0x10,
    WBEM_FLAG_PROPAGATED_ONLY = 0x20,
    WBEM_FLAG_SYSTEM_ONLY = 0x30,
    WBEM_FLAG_NONSYSTEM_ONLY = 0x40,
    WBEM_MASK_CONDITION_ORIGIN = 0x70,
    WBEM_FLAG_CLASS_OVERRIDES_ONLY = 0x100,
    WBEM_FLAG_CLASS_LOCAL_AND_OVERRIDES = 0x200,
    WBEM_MASK_CLASS_CONDITION = 0x300
} WBEM_CONDITION_FLAG_TYPE;
typedef enum tag_WBEM_FLAVOR_TYPE {
    WBEM_FLAVOR_DONT_PROPAGATE = 0,
    WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE = 0x1,
    WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS = 0x2,
    WBEM_FLAVOR_MASK_PROPAGATION = 0xf,
    WBEM_FLAVOR_OVERRIDABLE = 0,
    WBEM_FLAVOR_NOT_OVERRIDABLE = 0x10,
    WBEM_FLAVOR_MASK_PERMISSIONS = 0x10,
    WBEM_FLAVOR_ORIGIN_LOCAL = 0,
    WBEM_FLAVOR_ORIGIN_PROPAGATED = 0x20,
    WBEM_FLAVOR_ORIGIN_SYSTEM = 0x40,
    WBEM_FLAVOR_MASK_ORIGIN = 0x60,
    WBEM_FLAVOR_NOT_AMENDED = 0,
    WBEM_FLAVOR_AMENDED = 0x80,
    WBEM_FLAVOR_MASK_AMENDED = 0x80
} WBEM_FLAVOR_TYPE;
typedef enum tag_WBEM_QUERY_FLAG_TYPE {
    WBEM_FLAG_DEEP = 0,
    WBEM_FLAG_SHALLOW = 1,
    WBEM_FLAG_PROTOTYPE = 2
} WBEM_QUERY_FLAG_TYPE;
typedef enum tag_WBEM_SECURITY_FLAGS {
    WBEM_ENABLE = 1,
    WBEM_METHOD_EXECUTE = 2,
    WBEM_FULL_WRITE_REP = 4,
    WBEM_PARTIAL_WRITE_REP = 8,
    WBEM_WRITE_PROVIDER = 0x10,
    WBEM_REMOTE_ACCESS = 0x20,
    WBEM_RIGHT_SUBSCRIBE = 0x40,
    WBEM_RIGHT_PUBLISH = 0x80
} WBEM_SECURITY_FLAGS;
typedef enum tag_WBEM_LIMITATION_FLAG_TYPE {
    WBEM_FLAG_EXCLUDE_OBJECT_QUALIFIERS = 0x10,
    WBEM_FLAG_EXCLUDE_PROPERTY_QUALIFIERS = 0x20
} WBEM_LIMITATION_FLAG_TYPE;
typedef enum tag_WBEM_TEXT_FLAG_TYPE { WBEM_FLAG_NO_FLAVORS = 0x1 } WBEM_TEXT_FLAG_TYPE;
typedef enum tag_WBEM_COMPARISON_FLAG {
    WBEM_COMPARISON_INCLUDE_ALL = 0,
    WBEM_FLAG_IGNORE_QUALIFIERS = 0x1,
    WBEM_FLAG_IGNORE_OBJECT_SOURCE = 0x2,
    WBEM_FLAG_IGNORE_DEFAULT_VALUES = 0x4,
    WBEM_FLAG_IGNORE_CLASS = 0x8,
    WBEM_FLAG_IGNORE_CASE = 0x10,
    WBEM_FLAG_IGNORE_FLAVOR = 0x20
} WBEM_COMPARISON_FLAG;
typedef enum tag_WBEM_LOCKING { WBEM_FLAG_ALLOW_READ = 0x1 } WBEM_LOCKING_FLAG_TYPE;
typedef enum tag_CIMTYPE_ENUMERATION {
    CIM_ILLEGAL = 0xfff,
    CIM_EMPTY = 0,
    CIM_SINT8 = 16,
    CIM_UINT8 = 17,
    CIM_SINT16 = 2,
    CIM_UINT16 = 18,
    CIM_SINT32 = 3,
    CIM_UINT32 = 19,
    CIM_SINT64 = 20,
    CIM_UINT64 = 21,
    CIM_REAL32 = 4,
    CIM_REAL64 = 5,
    CIM_BOOLEAN = 11,
    CIM_STRING = 8,
    CIM_DATETIME = 101,
    CIM_REFERENCE = 102,
    CIM_CHAR16 = 103,
    CIM_OBJECT = 13,
    CIM_FLAG_ARRAY = 0x2000
} CIMTYPE_ENUMERATION;
typedef enum tag_WBEM_BACKUP_RESTORE_FLAGS {
    WBEM_FLAG_BACKUP_RESTORE_DEFAULT = 0,
    WBEM_FLAG_BACKUP_RESTORE_FORCE_SHUTDOWN = 1
} WBEM_BACKUP_RESTORE_FLAGS;
typedef enum tag_WBEM_REFRESHER_FLAGS {
    WBEM_FLAG_REFRESH_AUTO_RECONNECT = 0,
    WBEM_FLAG_REFRESH_NO_AUTO_RECONNECT = 1
} WBEM_REFRESHER_FLAGS;
typedef enum tag_WBEM_SHUTDOWN_FLAGS {
    WBEM_SHUTDOWN_UNLOAD_COMPONENT = 1,
    WBEM_SHUTDOWN_WMI = 2,
    WBEM_SHUTDOWN_OS = 3
} WBEM_SHUTDOWN_FLAGS;
typedef enum tag_WBEMSTATUS_FORMAT {
    WBEMSTATUS_FORMAT_NEWLINE = 0,
    WBEMSTATUS_FORMAT_NO_NEWLINE = 1
} WBEMSTATUS_FORMAT;
typedef enum tag_WBEM_LIMITS {
    WBEM_MAX_IDENTIFIER = 0x1000,
    WBEM_MAX_QUERY = 0x4000,
    WBEM_MAX_PATH = 0x2000,
    WBEM_MAX_OBJECT_NESTING = 64,
    WBEM_MAX_USER_PROPERTIES = 1024
} WBEM_LIMITS;
typedef enum tag_WBEMSTATUS {
    WBEM_NO_ERROR = 0,
    WBEM_S_NO_ERROR = 0,
    WBEM_S_SAME = 0,
    WBEM_S_FALSE = 1,
    WBEM_S_ALREADY_EXISTS = 0x40001,
    WBEM_S_RESET_TO_DEFAULT = 0x40002,
    WBEM_S_DIFFERENT = 0x40003,
    WBEM_S_TIMEDOUT = 0x40004,
    WBEM_S_NO_MORE_DATA = 0x40005,
    WBEM_S_OPERATION_CANCELLED = 0x40006,
    WBEM_S_PENDING = 0x40007,
    WBEM_S_DUPLICATE_OBJECTS = 0x40008,
    WBEM_S_ACCESS_DENIED = 0x40009,
    WBEM_S_PARTIAL_RESULTS = 0x40010,
    WBEM_S_SOURCE_NOT_AVAILABLE = 0x40017,
    WBEM_E_FAILED = _HRESULT_TYPEDEF_(0x80041001),
    WBEM_E_NOT_FOUND = _HRESULT_TYPEDEF_(0x80041002),
    WBEM_E_ACCESS_DENIED = _HRESULT_TYPEDEF_(0x80041003),
    WBEM_E_PROVIDER_FAILURE = _HRESULT_TYPEDEF_(0x80041004),
    WBEM_E_TYPE_MISMATCH = _HRESULT_TYPEDEF_(0x80041005),
    WBEM_E_OUT_OF_MEMORY = _HRESULT_TYPEDEF_(0x80041006),
    WBEM_E_INVALID_CONTEXT = _HRESULT_TYPEDEF_(0x80041007),
    WBEM_E_INVALID_PARAMETER = _HRESULT_TYPEDEF_(0x80041008),
    WBEM_E_NOT_AVAILABLE = _HRESULT_TYPEDEF_(0x80041009),
    WBEM_E_CRITICAL_ERROR = _HRESULT_TYPEDEF_(0x8004100A),
    WBEM_E_INVALID_STREAM = _HRESULT_TYPEDEF_(0x8004100B),
    WBEM_E_NOT_SUPPORTED = _HRESULT_TYPEDEF_(0x8004100C),
    WBEM_E_INVALID_SUPERCLASS = _HRESULT_TYPEDEF_(0x8004100D),
    WBEM_E_INVALID_NAMESPACE = _HRESULT_TYPEDEF_(0x8004100E),
    WBEM_E_INVALID_OBJECT = _HRESULT_TYPEDEF_(0x8004100F),
    WBEM_E_INVALID_CLASS = _HRESULT_TYPEDEF_(0x80041010),
    WBEM_E_PROVIDER_NOT_FOUND = _HRESULT_TYPEDEF_(0x80041011),
    WBEM_E_INVALID_PROVIDER_REGISTRATION = _HRESULT_TYPEDEF_(0x80041012),
    WBEM_E_PROVIDER_LOAD_FAILURE = _HRESULT_TYPEDEF_(0x80041013),
    WBEM_E_INITIALIZATION_FAILURE = _HRESULT_TYPEDEF_(0x80041014),
    WBEM_E_TRANSPORT_FAILURE = _HRESULT_TYPEDEF_(0x80041015),
    WBEM_E_INVALID_OPERATION = _HRESULT_TYPEDEF_(0x80041016),
    WBEM_E_INVALID_QUERY = _HRESULT_TYPEDEF_(0x80041017),
    WBEM_E_INVALID_QUERY_TYPE = _HRESULT_TYPEDEF_(0x80041018),
    WBEM_E_ALREADY_EXISTS = _HRESULT_TYPEDEF_(0x80041019),
    WBEM_E_OVERRIDE_NOT_ALLOWED = _HRESULT_TYPEDEF_(0x8004101A),
    WBEM_E_PROPAGATED_QUALIFIER = _HRESULT_TYPEDEF_(0x8004101B),
    WBEM_E_PROPAGATED_PROPERTY = _HRESULT_TYPEDEF_(0x8004101C),
    WBEM_E_UNEXPECTED = _HRESULT_TYPEDEF_(0x8004101D),
    WBEM_E_ILLEGAL_OPERATION = _HRESULT_TYPEDEF_(0x8004101E),
    WBEM_E_CANNOT_BE_KEY = _HRESULT_TYPEDEF_(0x8004101F),
    WBEM_E_INCOMPLETE_CLASS = _HRESULT_TYPEDEF_(0x80041020),
    WBEM_E_INVALID_SYNTAX = _HRESULT_TYPEDEF_(0x80041021),
    WBEM_E_NONDECORATED_OBJECT = _HRESULT_TYPEDEF_(0x80041022),
    WBEM_E_READ_ONLY = _HRESULT_TYPEDEF_(0x80041023),
    WBEM_E_PROVIDER_NOT_CAPABLE = _HRESULT_TYPEDEF_(0x80041024),
    WBEM_E_CLASS_HAS_CHILDREN = _HRESULT_TYPEDEF_(0x80041025),
    WBEM_E_CLASS_HAS_INSTANCES = _HRESULT_TYPEDEF_(0x80041026),
    WBEM_E_QUERY_NOT_IMPLEMENTED = _HRESULT_TYPEDEF_(0x80041027),
    WBEM_E_ILLEGAL_NULL = _HRESULT_TYPEDEF_(0x80041028),
    WBEM_E_INVALID_QUALIFIER_TYPE = _HRESULT_TYPEDEF_(0x80041029),
    WBEM_E_INVALID_PROPERTY_TYPE = _HRESULT_TYPEDEF_(0x8004102A),
    WBEM_E_VALUE_OUT_OF_RANGE = _HRESULT_TYPEDEF_(0x8004102B),
    WBEM_E_CANNOT_BE_SINGLETON = _HRESULT_TYPEDEF_(0x8004102C),
    WBEM_E_INVALID_CIM_TYPE = _HRESULT_TYPEDEF_(0x8004102D),
    WBEM_E_INVALID_METHOD = _HRESULT_TYPEDEF_(0x8004102E),
    WBEM_E_INVALID_METHOD_PARAMETERS = _HRESULT_TYPEDEF_(0x8004102F),
    WBEM_E_SYSTEM_PROPERTY = _HRESULT_TYPEDEF_(0x80041030),
    WBEM_E_INVALID_PROPERTY = _HRESULT_TYPEDEF_(0x80041031),
    WBEM_E_CALL_CANCELLED = _HRESULT_TYPEDEF_(0x80041032),
    WBEM_E_SHUTTING_DOWN = _HRESULT_TYPEDEF_(0x80041033),
    WBEM_E_PROPAGATED_METHOD = _HRESULT_TYPEDEF_(0x80041034),
    WBEM_E_UNSUPPORTED_PARAMETER = _HRESULT_TYPEDEF_(0x80041035),
    WBEM_E_MISSING_PARAMETER_ID = _HRESULT_TYPEDEF_(0x80041036),
    WBEM_E_INVALID_PARAMETER_ID = _HRESULT_TYPEDEF_(0x80041037),
    WBEM_E_NONCONSECUTIVE_PARAMETER_IDS = _HRESULT_TYPEDEF_(0x80041038),
    WBEM_E_PARAMETER_ID_ON_RETVAL = _HRESULT_TYPEDEF_(0x80041039),
    WBEM_E_INVALID_OBJECT_PATH = _HRESULT_TYPEDEF_(0x8004103A),
    WBEM_E_OUT_OF_DISK_SPACE = _HRESULT_TYPEDEF_(0x8004103B),
    WBEM_E_BUFFER_TOO_SMALL = _HRESULT_TYPEDEF_(0x8004103C),
    WBEM_E_UNSUPPORTED_PUT_EXTENSION = _HRESULT_TYPEDEF_(0x8004103D),
    WBEM_E_UNKNOWN_OBJECT_TYPE = _HRESULT_TYPEDEF_(0x8004103E),
    WBEM_E_UNKNOWN_PACKET_TYPE = _HRESULT_TYPEDEF_(0x8004103F),
    WBEM_E_MARSHAL_VERSION_MISMATCH = _HRESULT_TYPEDEF_(0x80041040),
    WBEM_E_MARSHAL_INVALID_SIGNATURE = _HRESULT_TYPEDEF_(0x80041041),
    WBEM_E_INVALID_QUALIFIER = _HRESULT_TYPEDEF_(0x80041042),
    WBEM_E_INVALID_DUPLICATE_PARAMETER = _HRESULT_TYPEDEF_(0x80041043),
    WBEM_E_TOO_MUCH_DATA = _HRESULT_TYPEDEF_(0x80041044),
    WBEM_E_SERVER_TOO_BUSY = _HRESULT_TYPEDEF_(0x80041045),
    WBEM_E_INVALID_FLAVOR = _HRESULT_TYPEDEF_(0x80041046),
    WBEM_E_CIRCULAR_REFERENCE = _HRESULT_TYPEDEF_(0x80041047),
    WBEM_E_UNSUPPORTED_CLASS_UPDATE = _HRESULT_TYPEDEF_(0x80041048),
    WBEM_E_CANNOT_CHANGE_KEY_INHERITANCE = _HRESULT_TYPEDEF_(0x80041049),
    WBEM_E_CANNOT_CHANGE_INDEX_INHERITANCE = _HRESULT_TYPEDEF_(0x80041050),
    WBEM_E_TOO_MANY_PROPERTIES = _HRESULT_TYPEDEF_(0x80041051),
    WBEM_E_UPDATE_TYPE_MISMATCH = _HRESULT_TYPEDEF_(0x80041052),
    WBEM_E_UPDATE_OVERRIDE_NOT_ALLOWED = _HRESULT_TYPEDEF_(0x80041053),
    WBEM_E_UPDATE_PROPAGATED_METHOD = _HRESULT_TYPEDEF_(0x80041054),
    WBEM_E_METHOD_NOT_IMPLEMENTED = _HRESULT_TYPEDEF_(0x80041055),
    WBEM_E_METHOD_DISABLED = _HRESULT_TYPEDEF_(0x80041056),
    WBEM_E_REFRESHER_BUSY = _HRESULT_TYPEDEF_(0x80041057),
    WBEM_E_UNPARSABLE_QUERY = _HRESULT_TYPEDEF_(0x80041058),
    WBEM_E_NOT_EVENT_CLASS = _HRESULT_TYPEDEF_(0x80041059),
    WBEM_E_MISSING_GROUP_WITHIN = _HRESULT_TYPEDEF_(0x8004105A),
    WBEM_E_MISSING_AGGREGATION_LIST = _HRESULT_TYPEDEF_(0x8004105B),
    WBEM_E_PROPERTY_NOT_AN_OBJECT = _HRESULT_TYPEDEF_(0x8004105C),
    WBEM_E_AGGREGATING_BY_OBJECT = _HRESULT_TYPEDEF_(0x8004105D),
    WBEM_E_UNINTERPRETABLE_PROVIDER_QUERY = _HRESULT_TYPEDEF_(0x8004105F),
    WBEM_E_BACKUP_RESTORE_WINMGMT_RUNNING = _HRESULT_TYPEDEF_(0x80041060),
    WBEM_E_QUEUE_OVERFLOW = _HRESULT_TYPEDEF_(0x80041061),
    WBEM_E_PRIVILEGE_NOT_HELD = _HRESULT_TYPEDEF_(0x80041062),
    WBEM_E_INVALID_OPERATOR = _HRESULT_TYPEDEF_(0x80041063),
    WBEM_E_LOCAL_CREDENTIALS = _HRESULT_TYPEDEF_(0x80041064),
    WBEM_E_CANNOT_BE_ABSTRACT = _HRESULT_TYPEDEF_(0x80041065),
    WBEM_E_AMENDED_OBJECT = _HRESULT_TYPEDEF_(0x80041066),
    WBEM_E_CLIENT_TOO_SLOW = _HRESULT_TYPEDEF_(0x80041067),
    WBEM_E_NULL_SECURITY_DESCRIPTOR = _HRESULT_TYPEDEF_(0x80041068),
    WBEM_E_TIMED_OUT = _HRESULT_TYPEDEF_(0x80041069),
    WBEM_E_INVALID_ASSOCIATION = _HRESULT_TYPEDEF_(0x8004106A),
    WBEM_E_AMBIGUOUS_OPERATION = _HRESULT_TYPEDEF_(0x8004106B),
    WBEM_E_QUOTA_VIOLATION = _HRESULT_TYPEDEF_(0x8004106C),
    WBEM_E_RESERVED_001 = _HRESULT_TYPEDEF_(0x8004106D),
    WBEM_E_RESERVED_002 = _HRESULT_TYPEDEF_(0x8004106E),
    WBEM_E_UNSUPPORTED_LOCALE = _HRESULT_TYPEDEF_(0x8004106F),
    WBEM_E_HANDLE_OUT_OF_DATE = _HRESULT_TYPEDEF_(0x80041070),
    WBEM_E_CONNECTION_FAILED = _HRESULT_TYPEDEF_(0x80041071),
    WBEM_E_INVALID_HANDLE_REQUEST = _HRESULT_TYPEDEF_(0x80041072),
    WBEM_E_PROPERTY_NAME_TOO_WIDE = _HRESULT_TYPEDEF_(0x80041073),
    WBEM_E_CLASS_NAME_TOO_WIDE = _HRESULT_TYPEDEF_(0x80041074),
    WBEM_E_METHOD_NAME_TOO_WIDE = _HRESULT_TYPEDEF_(0x80041075),
    WBEM_E_QUALIFIER_NAME_TOO_WIDE = _HRESULT_TYPEDEF_(0x80041076),
    WBEM_E_RERUN_COMMAND = _HRESULT_TYPEDEF_(0x80041077),
    WBEM_E_DATABASE_VER_MISMATCH = _HRESULT_TYPEDEF_(0x80041078),
    WBEM_E_VETO_DELETE = _HRESULT_TYPEDEF_(0x80041079),
    WBEM_E_VETO_PUT = _HRESULT_TYPEDEF_(0x8004107A),
    WBEM_E_INVALID_LOCALE = _HRESULT_TYPEDEF_(0x80041080),
    WBEM_E_PROVIDER_SUSPENDED = _HRESULT_TYPEDEF_(0x80041081),
    WBEM_E_SYNCHRONIZATION_REQUIRED = _HRESULT_TYPEDEF_(0x80041082),
    WBEM_E_NO_SCHEMA = _HRESULT_TYPEDEF_(0x80041083),
    WBEM_E_PROVIDER_ALREADY_REGISTERED = _HRESULT_TYPEDEF_(0x80041084),
    WBEM_E_PROVIDER_NOT_REGISTERED = _HRESULT_TYPEDEF_(0x80041085),
    WBEM_E_FATAL_TRANSPORT_ERROR = _HRESULT_TYPEDEF_(0x80041086),
    WBEM_E_ENCRYPTED_CONNECTION_REQUIRED = _HRESULT_TYPEDEF_(0x80041087),
    WBEM_E_PROVIDER_TIMED_OUT = _HRESULT_TYPEDEF_(0x80041088),
    WBEM_E_NO_KEY = _HRESULT_TYPEDEF_(0x80041089),
    WBEM_E_PROVIDER_DISABLED = _HRESULT_TYPEDEF_(0x8004108A),
    WBEMESS_E_REGISTRATION_TOO_BROAD = _HRESULT_TYPEDEF_(0x80042001),
    WBEMESS_E_REGISTRATION_TOO_PRECISE = _HRESULT_TYPEDEF_(0x80042002),
    WBEMESS_E_AUTHZ_NOT_PRIVILEGED = _HRESULT_TYPEDEF_(0x80042003),
    WBEMMOF_E_EXPECTED_QUALIFIER_NAME = _HRESULT_TYPEDEF_(0x80044001),
    WBEMMOF_E_EXPECTED_SEMI = _HRESULT_TYPEDEF_(0x80044002),
    WBEMMOF_E_EXPECTED_OPEN_BRACE = _HRESULT_TYPEDEF_(0x80044003),
    WBEMMOF_E_EXPECTED_CLOSE_BRACE = _HRESULT_TYPEDEF_(0x80044004),
    WBEMMOF_E_EXPECTED_CLOSE_BRACKET = _HRESULT_TYPEDEF_(0x80044005),
    WBEMMOF_E_EXPECTED_CLOSE_PAREN = _HRESULT_TYPEDEF_(0x80044006),
    WBEMMOF_E_ILLEGAL_CONSTANT_VALUE = _HRESULT_TYPEDEF_(0x80044007),
    WBEMMOF_E_EXPECTED_TYPE_IDENTIFIER = _HRESULT_TYPEDEF_(0x80044008),
    WBEMMOF_E_EXPECTED_OPEN_PAREN = _HRESULT_TYPEDEF_(0x80044009),
    WBEMMOF_E_UNRECOGNIZED_TOKEN = _HRESULT_TYPEDEF_(0x8004400A),
    WBEMMOF_E_UNRECOGNIZED_TYPE = _HRESULT_TYPEDEF_(0x8004400B),
    WBEMMOF_E_EXPECTED_PROPERTY_NAME = _HRESULT_TYPEDEF_(0x8004400C),
    WBEMMOF_E_TYPEDEF_NOT_SUPPORTED = _HRESULT_TYPEDEF_(0x8004400D),
    WBEMMOF_E_UNEXPECTED_ALIAS = _HRESULT_TYPEDEF_(0x8004400E),
    WBEMMOF_E_UNEXPECTED_ARRAY_INIT = _HRESULT_TYPEDEF_(0x8004400F),
    WBEMMOF_E_INVALID_AMENDMENT_SYNTAX = _HRESULT_TYPEDEF_(0x80044010),
    WBEMMOF_E_INVALID_DUPLICATE_AMENDMENT = _HRESULT_TYPEDEF_(0x80044011),
    WBEMMOF_E_INVALID_PRAGMA = _HRESULT_TYPEDEF_(0x80044012),
    WBEMMOF_E_INVALID_NAMESPACE_SYNTAX = _HRESULT_TYPEDEF_(0x80044013),
    WBEMMOF_E_EXPECTED_CLASS_NAME = _HRESULT_TYPEDEF_(0x80044014),
    WBEMMOF_E_TYPE_MISMATCH = _HRESULT_TYPEDEF_(0x80044015),
    WBEMMOF_E_EXPECTED_ALIAS_NAME = _HRESULT_TYPEDEF_(0x80044016),
    WBEMMOF_E_INVALID_CLASS_DECLARATION = _HRESULT_TYPEDEF_(0x80044017),
    WBEMMOF_E_INVALID_INSTANCE_DECLARATION = _HRESULT_TYPEDEF_(0x80044018),
    WBEMMOF_E_EXPECTED_DOLLAR = _HRESULT_TYPEDEF_(0x80044019),
    WBEMMOF_E_CIMTYPE_QUALIFIER = _HRESULT_TYPEDEF_(0x8004401A),
    WBEMMOF_E_DUPLICATE_PROPERTY = _HRESULT_TYPEDEF_(0x8004401B),
    WBEMMOF_E_INVALID_NAMESPACE_SPECIFICATION = _HRESULT_TYPEDEF_(0x8004401C),
    WBEMMOF_E_OUT_OF_RANGE = _HRESULT_TYPEDEF_(0x8004401D),
    WBEMMOF_E_INVALID_FILE = _HRESULT_TYPEDEF_(0x8004401E),
    WBEMMOF_E_ALIASES_IN_EMBEDDED = _HRESULT_TYPEDEF_(0x8004401F),
    WBEMMOF_E_NULL_ARRAY_ELEM = _HRESULT_TYPEDEF_(0x80044020),
    WBEMMOF_E_DUPLICATE_QUALIFIER = _HRESULT_TYPEDEF_(0x80044021),
    WBEMMOF_E_EXPECTED_FLAVOR_TYPE = _HRESULT_TYPEDEF_(0x80044022),
    WBEMMOF_E_INCOMPATIBLE_FLAVOR_TYPES = _HRESULT_TYPEDEF_(0x80044023),
    WBEMMOF_E_MULTIPLE_ALIASES = _HRESULT_TYPEDEF_(0x80044024),
    WBEMMOF_E_INCOMPATIBLE_FLAVOR_TYPES2 = _HRESULT_TYPEDEF_(0x80044025),
    WBEMMOF_E_NO_ARRAYS_RETURNED = _HRESULT_TYPEDEF_(0x80044026),
    WBEMMOF_E_MUST_BE_IN_OR_OUT = _HRESULT_TYPEDEF_(0x80044027),
    WBEMMOF_E_INVALID_FLAGS_SYNTAX = _HRESULT_TYPEDEF_(0x80044028),
    WBEMMOF_E_EXPECTED_BRACE_OR_BAD_TYPE = _HRESULT_TYPEDEF_(0x80044029),
    WBEMMOF_E_UNSUPPORTED_CIMV22_QUAL_VALUE = _HRESULT_TYPEDEF_(0x8004402A),
    WBEMMOF_E_UNSUPPORTED_CIMV22_DATA_TYPE = _HRESULT_TYPEDEF_(0x8004402B),
    WBEMMOF_E_INVALID_DELETEINSTANCE_SYNTAX = _HRESULT_TYPEDEF_(0x8004402C),
    WBEMMOF_E_INVALID_QUALIFIER_SYNTAX = _HRESULT_TYPEDEF_(0x8004402D),
    WBEMMOF_E_QUALIFIER_USED_OUTSIDE_SCOPE = _HRESULT_TYPEDEF_(0x8004402E),
    WBEMMOF_E_ERROR_CREATING_TEMP_FILE = _HRESULT_TYPEDEF_(0x8004402F),
    WBEMMOF_E_ERROR_INVALID_INCLUDE_FILE = _HRESULT_TYPEDEF_(0x80044030),
    WBEMMOF_E_INVALID_DELETECLASS_SYNTAX = _HRESULT_TYPEDEF_(0x80044031)
} WBEMSTATUS;
typedef enum tag_WMI_OBJ_TEXT {
    WMI_OBJ_TEXT_CIM_DTD_2_0 = 1,
    WMI_OBJ_TEXT_WMI_DTD_2_0 = 2,
    WMI_OBJ_TEXT_WMI_EXT1 = 3,
    WMI_OBJ_TEXT_WMI_EXT2 = 4,
    WMI_OBJ_TEXT_WMI_EXT3 = 5,
    WMI_OBJ_TEXT_WMI_EXT4 = 6,
    WMI_OBJ_TEXT_WMI_EXT5 = 7,
    WMI_OBJ_TEXT_WMI_EXT6 = 8,
    WMI_OBJ_TEXT_WMI_EXT7 = 9,
    WMI_OBJ_TEXT_WMI_EXT8 = 10,
    WMI_OBJ_TEXT_WMI_EXT9 = 11,
    WMI_OBJ_TEXT_WMI_EXT10 = 12,
    WMI_OBJ_TEXT_LAST = 13
} WMI_OBJ_TEXT;
typedef enum tag_WBEM_COMPILER_OPTIONS {
    WBEM_FLAG_CHECK_ONLY = 0x1,
    WBEM_FLAG_AUTORECOVER = 0x2,
    WBEM_FLAG_WMI_CHECK = 0x4,
    WBEM_FLAG_CONSOLE_PRINT = 0x8,
    WBEM_FLAG_DONT_ADD_TO_LIST = 0x10,
    WBEM_FLAG_SPLIT_FILES = 0x20,
    WBEM_FLAG_STORE_FILE = 0x100
} WBEM_COMPILER_OPTIONS;
typedef enum tag_WBEM_CONNECT_OPTIONS {
    WBEM_FLAG_CONNECT_REPOSITORY_ONLY = 0x40,
    WBEM_FLAG_CONNECT_USE_MAX_WAIT = 0x80,
    WBEM_FLAG_CONNECT_PROVIDERS = 0x100
} WBEM_CONNECT_OPTIONS;
typedef enum tag_WBEM_UNSECAPP_FLAG_TYPE {
    WBEM_FLAG_UNSECAPP_DEFAULT_CHECK_ACCESS = 0,
    WBEM_FLAG_UNSECAPP_CHECK_ACCESS = 1,
    WBEM_FLAG_UNSECAPP_DONT_CHECK_ACCESS = 2
} WBEM_UNSECAPP_FLAG_TYPE;
typedef enum tag_WBEM_INFORMATION_FLAG_TYPE {
    WBEM_FLAG_SHORT_NAME = 0x1,
    WBEM_FLAG_LONG_NAME = 0x2
} WBEM_INFORMATION_FLAG_TYPE;
typedef struct tag_CompileStatusInfo {
    LONG lPhaseError;
    HRESULT hRes;
    LONG ObjectNum;
    LONG FirstLine;
    LONG LastLine;
    DWORD dwOutFlags;
} WBEM_COMPILE_STATUS_INFO;
typedef LONG CIMTYPE;

#ifdef __cplusplus
// The WMI classes that CoCreateInstance makes.
ZP_EXTERN_C ZP_API const CLSID CLSID_WbemLocator;
class WbemLocator;
__CRT_UUID_DECL(WbemLocator, 0x4590f811, 0x1d3a, 0x11d0, 0x89, 0x1f, 0x00, 0xaa, 0x00, 0x4b, 0x2e,
                0x24)
ZP_EXTERN_C ZP_API const CLSID CLSID_WbemContext;
class WbemContext;
__CRT_UUID_DECL(WbemContext, 0x674b6698, 0xee92, 0x11d0, 0xad, 0x71, 0x00, 0xc0, 0x4f, 0xd8, 0xfd,
                0xff)
ZP_EXTERN_C ZP_API const CLSID CLSID_WbemClassObject;
class WbemClassObject;
__CRT_UUID_DECL(WbemClassObject, 0x9a653086, 0x174f, 0x11d2, 0xb5, 0xf9, 0x00, 0x10, 0x4b, 0x70,
                0x3e, 0xfd)
ZP_EXTERN_C ZP_API const CLSID CLSID_WbemStatusCodeText;
class WbemStatusCodeText;
__CRT_UUID_DECL(WbemStatusCodeText, 0xeb87e1bd, 0x3233, 0x11d2, 0xae, 0xc9, 0x00, 0xc0, 0x4f, 0xb6,
                0x88, 0x20)
ZP_EXTERN_C ZP_API const CLSID CLSID_UnsecuredApartment;
class UnsecuredApartment;
__CRT_UUID_DECL(UnsecuredApartment, 0x49bd2028, 0x1523, 0x11d1, 0xad, 0x79, 0x00, 0xc0, 0x4f, 0xd8,
                0xfd, 0xff)
ZP_EXTERN_C ZP_API const CLSID CLSID_MofCompiler;
class MofCompiler;
__CRT_UUID_DECL(MofCompiler, 0x6daf9757, 0x2e37, 0x11d2, 0xae, 0xc9, 0x00, 0xc0, 0x4f, 0xb6, 0x88,
                0x20)
ZP_EXTERN_C ZP_API const CLSID CLSID_WbemObjectTextSrc;
class WbemObjectTextSrc;
__CRT_UUID_DECL(WbemObjectTextSrc, 0x8d1c559d, 0x84f0, 0x4bb3, 0xa7, 0xd5, 0x56, 0xa7, 0x43, 0x5a,
                0x9b, 0xa6)

ZP_EXTERN_C ZP_API const IID IID_IWbemClassObject;
struct IWbemClassObject : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet** ppQualSet) = 0;
    virtual HRESULT STDMETHODCALLTYPE Get(LPCWSTR wszName, LONG lFlags, VARIANT* pVal,
                                          CIMTYPE* pType, LONG* plFlavor) = 0;
    virtual HRESULT STDMETHODCALLTYPE Put(LPCWSTR wszName, LONG lFlags, VARIANT* pVal,
                                          CIMTYPE Type) = 0;
    virtual HRESULT STDMETHODCALLTYPE Delete(LPCWSTR wszName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR wszQualifierName, LONG lFlags,
                                               VARIANT* pQualifierVal, SAFEARRAY** pNames) = 0;
    virtual HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG lEnumFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Next(LONG lFlags, BSTR* strName, VARIANT* pVal,
                                           CIMTYPE* pType, LONG* plFlavor) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndEnumeration() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR wszProperty,
                                                              IWbemQualifierSet** ppQualSet) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject** ppCopy) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetObjectText(LONG lFlags, BSTR* pstrObjectText) = 0;
    virtual HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG lFlags,
                                                        IWbemClassObject** ppNewClass) = 0;
    virtual HRESULT STDMETHODCALLTYPE SpawnInstance(LONG lFlags,
                                                    IWbemClassObject** ppNewInstance) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareTo(LONG lFlags, IWbemClassObject* pCompareTo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR wszName, BSTR* pstrClassName) = 0;
    virtual HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR strAncestor) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR wszName, LONG lFlags,
                                                IWbemClassObject** ppInSignature,
                                                IWbemClassObject** ppOutSignature) = 0;
    virtual HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR wszName, LONG lFlags,
                                                IWbemClassObject* pInSignature,
                                                IWbemClassObject* pOutSignature) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR wszName) = 0;
    virtual HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG lEnumFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE NextMethod(LONG lFlags, BSTR* pstrName,
                                                 IWbemClassObject** ppInSignature,
                                                 IWbemClassObject** ppOutSignature) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndMethodEnumeration() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR wszMethod,
                                                            IWbemQualifierSet** ppQualSet) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR wszMethodName,
                                                      BSTR* pstrClassName) = 0;
};
__CRT_UUID_DECL(IWbemClassObject, 0xdc12a681, 0x737f, 0x11cf, 0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b,
                0x2e, 0x24)

ZP_EXTERN_C ZP_API const IID IID_IWbemQualifierSet;
struct IWbemQualifierSet : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Get(LPCWSTR wszName, LONG lFlags, VARIANT* pVal,
                                          LONG* plFlavor) = 0;
    virtual HRESULT STDMETHODCALLTYPE Put(LPCWSTR wszName, VARIANT* pVal, LONG lFlavor) = 0;
    virtual HRESULT STDMETHODCALLTYPE Delete(LPCWSTR wszName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNames(LONG lFlags, SAFEARRAY** pNames) = 0;
    virtual HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG lFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Next(LONG lFlags, BSTR* pstrName, VARIANT* pVal,
                                           LONG* plFlavor) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndEnumeration() = 0;
};
__CRT_UUID_DECL(IWbemQualifierSet, 0xdc12a680, 0x737f, 0x11cf, 0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b,
                0x2e, 0x24)

ZP_EXTERN_C ZP_API const IID IID_IWbemLocator;
struct IWbemLocator : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR strNetworkResource,
                                                    const BSTR strUser, const BSTR strPassword,
                                                    const BSTR strLocale, LONG lSecurityFlags,
                                                    const BSTR strAuthority, IWbemContext* pCtx,
                                                    IWbemServices** ppNamespace) = 0;
};
__CRT_UUID_DECL(IWbemLocator, 0xdc12a687, 0x737f, 0x11cf, 0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b, 0x2e,
                0x24)

ZP_EXTERN_C ZP_API const IID IID_IWbemObjectSink;
struct IWbemObjectSink : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Indicate(LONG lObjectCount,
                                               IWbemClassObject** apObjArray) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStatus(LONG lFlags, HRESULT hResult, BSTR strParam,
                                                IWbemClassObject* pObjParam) = 0;
};
__CRT_UUID_DECL(IWbemObjectSink, 0x7c857801, 0x7381, 0x11cf, 0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b,
                0x2e, 0x24)

ZP_EXTERN_C ZP_API const IID IID_IEnumWbemClassObject;
struct IEnumWbemClassObject : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Next(LONG lTimeout, ULONG uCount,
                                           IWbemClassObject** apObjects, ULONG* puReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE NextAsync(ULONG uCount, IWbemObjectSink* pSink) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(LONG lTimeout, ULONG nCount) = 0;
};
__CRT_UUID_DECL(IEnumWbemClassObject, 0x027947e1, 0xd731, 0x11ce, 0xa3, 0x57, 0x00, 0x00, 0x00,
                0x00, 0x00, 0x01)

ZP_EXTERN_C ZP_API const IID IID_IWbemContext;
struct IWbemContext : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Clone(IWbemContext** ppNewCopy) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNames(LONG lFlags, SAFEARRAY** pNames) = 0;
    virtual HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG lFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Next(LONG lFlags, BSTR* pstrName, VARIANT* pValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndEnumeration() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR wszName, LONG lFlags, VARIANT* pValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetValue(LPCWSTR wszName, LONG lFlags, VARIANT* pValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteValue(LPCWSTR wszName, LONG lFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteAll() = 0;
};
__CRT_UUID_DECL(IWbemContext, 0x44aca674, 0xe8fc, 0x11d0, 0xa0, 0x7c, 0x00, 0xc0, 0x4f, 0xb6, 0x88,
                0x20)

ZP_EXTERN_C ZP_API const IID IID_IWbemCallResult;
struct IWbemCallResult : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetResultObject(LONG lTimeout,
                                                      IWbemClassObject** ppResultObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetResultString(LONG lTimeout, BSTR* pstrResultString) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetResultServices(LONG lTimeout,
                                                        IWbemServices** ppServices) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCallStatus(LONG lTimeout, LONG* plStatus) = 0;
};
__CRT_UUID_DECL(IWbemCallResult, 0x44aca675, 0xe8fc, 0x11d0, 0xa0, 0x7c, 0x00, 0xc0, 0x4f, 0xb6,
                0x88, 0x20)

ZP_EXTERN_C ZP_API const IID IID_IWbemServices;
struct IWbemServices : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR strNamespace, LONG lFlags,
                                                    IWbemContext* pCtx,
                                                    IWbemServices** ppWorkingNamespace,
                                                    IWbemCallResult** ppResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink* pSink) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG lFlags,
                                                      IWbemObjectSink** ppResponseHandler) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetObject(const BSTR strObjectPath, LONG lFlags,
                                                IWbemContext* pCtx, IWbemClassObject** ppObject,
                                                IWbemCallResult** ppCallResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR strObjectPath, LONG lFlags,
                                                     IWbemContext* pCtx,
                                                     IWbemObjectSink* pResponseHandler) = 0;
    virtual HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject* pObject, LONG lFlags,
                                               IWbemContext* pCtx,
                                               IWbemCallResult** ppCallResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject* pObject, LONG lFlags,
                                                    IWbemContext* pCtx,
                                                    IWbemObjectSink* pResponseHandler) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR strClass, LONG lFlags,
                                                  IWbemContext* pCtx,
                                                  IWbemCallResult** ppCallResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR strClass, LONG lFlags,
                                                       IWbemContext* pCtx,
                                                       IWbemObjectSink* pResponseHandler) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR strSuperclass, LONG lFlags,
                                                      IWbemContext* pCtx,
                                                      IEnumWbemClassObject** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR strSuperclass, LONG lFlags,
                                                           IWbemContext* pCtx,
                                                           IWbemObjectSink* pResponseHandler) = 0;
    virtual HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject* pInst, LONG lFlags,
                                                  IWbemContext* pCtx,
                                                  IWbemCallResult** ppCallResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject* pInst, LONG lFlags,
                                                       IWbemContext* pCtx,
                                                       IWbemObjectSink* pResponseHandler) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR strObjectPath, LONG lFlags,
                                                     IWbemContext* pCtx,
                                                     IWbemCallResult** ppCallResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR strObjectPath, LONG lFlags,
                                                          IWbemContext* pCtx,
                                                          IWbemObjectSink* pResponseHandler) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR strFilter, LONG lFlags,
                                                         IWbemContext* pCtx,
                                                         IEnumWbemClassObject** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    CreateInstanceEnumAsync(const BSTR strFilter, LONG lFlags, IWbemContext* pCtx,
                            IWbemObjectSink* pResponseHandler) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR strQueryLanguage, const BSTR strQuery,
                                                LONG lFlags, IWbemContext* pCtx,
                                                IEnumWbemClassObject** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR strQueryLanguage,
                                                     const BSTR strQuery, LONG lFlags,
                                                     IWbemContext* pCtx,
                                                     IWbemObjectSink* pResponseHandler) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR strQueryLanguage,
                                                            const BSTR strQuery, LONG lFlags,
                                                            IWbemContext* pCtx,
                                                            IEnumWbemClassObject** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    ExecNotificationQueryAsync(const BSTR strQueryLanguage, const BSTR strQuery, LONG lFlags,
                               IWbemContext* pCtx, IWbemObjectSink* pResponseHandler) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR strObjectPath, const BSTR strMethodName,
                                                 LONG lFlags, IWbemContext* pCtx,
                                                 IWbemClassObject* pInParams,
                                                 IWbemClassObject** ppOutParams,
                                                 IWbemCallResult** ppCallResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR strObjectPath,
                                                      const BSTR strMethodName, LONG lFlags,
                                                      IWbemContext* pCtx,
                                                      IWbemClassObject* pInParams,
                                                      IWbemObjectSink* pResponseHandler) = 0;
};
__CRT_UUID_DECL(IWbemServices, 0x9556dc99, 0x828c, 0x11cf, 0xa3, 0x7e, 0x00, 0xaa, 0x00, 0x32, 0x40,
                0xc7)

ZP_EXTERN_C ZP_API const IID IID_IWbemObjectTextSrc;
struct IWbemObjectTextSrc : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetText(LONG lFlags, IWbemClassObject* pObj,
                                              ULONG uObjTextFormat, IWbemContext* pCtx,
                                              BSTR* strText) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateFromText(LONG lFlags, BSTR strText,
                                                     ULONG uObjTextFormat, IWbemContext* pCtx,
                                                     IWbemClassObject** pNewObj) = 0;
};
__CRT_UUID_DECL(IWbemObjectTextSrc, 0xbfbf883a, 0xcad7, 0x11d3, 0xa1, 0x1b, 0x00, 0x10, 0x5a, 0x1f,
                0x51, 0x5a)
#endif
