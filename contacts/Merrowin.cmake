# The contact data objects over the per-contact XML, and the writer of that XML.
add_library(rk_contact_interfaces STATIC ContactInterfaces.cpp)
target_link_libraries(rk_contact_interfaces PUBLIC rk_framework)
add_library(rk_contact_data STATIC CContactData.cpp CContactDataItem.cpp)
target_link_libraries(rk_contact_data PUBLIC rk_contact_interfaces rk_xml tinyxml)
add_library(rk_contact_xml STATIC CContactXmlBuilder.cpp)
target_link_libraries(rk_contact_xml PUBLIC rk_xml rk_contact_lookup)
rk_add_test(contact_data_test
  SOURCES tests/contact_data_test.cpp tests/contact_xml_test.cpp
  LIBS rk_contact_data rk_contact_xml)

# The join of the contacts tables' rows, the recovery object and the contacts analyser.
add_library(rk_merrowin STATIC
  ContactJoin.cpp
  LostRawContacts.cpp
  LiveRowCopies.cpp
  EntryRowOwner.cpp
  JoinedContactFromRows.cpp
  CAndroidContactRecovery.cpp
  CMerrowin.cpp)
target_link_libraries(rk_merrowin PUBLIC rk_contacts_tables rk_contact_data rk_contact_xml)
rk_add_test(contact_join_test SOURCES tests/contact_join_test.cpp LIBS rk_merrowin)

# libMerrowin.so, loaded by name.
add_library(Merrowin SHARED MerrowinExports.cpp)
target_link_libraries(Merrowin PRIVATE rk_merrowin)
rk_add_test(merrowin_library_test SOURCES tests/merrowin_library_test.cpp
  LIBS rk_contact_lookup rk_contact_interfaces rk_device_standin)
add_dependencies(merrowin_library_test Merrowin sample_phone)

# The pipeline over the sample phone's live rows, read by the SQLite library.
rk_add_test(contacts_pipeline_test SOURCES tests/contacts_pipeline_test.cpp
  LIBS rk_merrowin rk_test_sqlite)
add_dependencies(contacts_pipeline_test sample_phone sample_phone_nosd sample_phone_legacy)

# libMerrowin.so on the sample phone, as the outside caller runs it.
rk_add_test(merrowin_sample_phone_test SOURCES tests/merrowin_sample_phone_test.cpp
  LIBS rk_contact_lookup rk_contact_interfaces rk_device_standin LABELS e2e)
add_dependencies(merrowin_sample_phone_test Merrowin sample_phone sample_phone_nosd sample_phone_smswal
  sample_phone_legacy)

# relikorda-recover's contacts job, run as a user runs it.
rk_add_test(contacts_job_e2e_test SOURCES tests/contacts_job_e2e_test.cpp
  LIBS rk_platform tinyxml LABELS e2e)
target_compile_definitions(contacts_job_e2e_test PRIVATE RK_RECOVER_PROGRAM="$<TARGET_FILE:relikorda-recover>")
add_dependencies(contacts_job_e2e_test relikorda-recover Merrowin sample_phone deleted_contacts contact_devices
  stale_rows)

# The vCard file imported by another program (vobject), as a user would import it elsewhere.
find_program(RK_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(RK_SYSTEM_PYTHON)
  add_test(NAME contacts_vcard_import
    COMMAND ${RK_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tests/check_vcard_import.py
      $<TARGET_FILE:relikorda-recover> ${CMAKE_BINARY_DIR}/testdata/sample_phone)
  set_tests_properties(contacts_vcard_import PROPERTIES LABELS e2e)
endif()
