// The benchmarks' data set, the same for every contender: employees generated from a fixed seed,
// and how Velmora is given it (tables defined and filled through the component interface).
#pragma once

#include <string>
#include <vector>

#include "bench/BenchSupport.h"

namespace velmora {

struct Employee {
  std::string name;     // 3 to 12 lower-case letters
  std::string surname;  // 3 to 12 lower-case letters
  int age;              // 0 to 99
  int department;       // a record of the department table, 0 to departmentCount(n) - 1
};

// The first n employees of one fixed sequence: the same on every run and every machine. Built
// on first use for each n and kept; the reference stays valid until the process ends.
const std::vector<Employee>& employees(int n);
// The department table of the relation variant: n / 100 records, at least one.
int departmentCount(int n);
std::string departmentName(int department);

// Defines "employee" (String name, String surname, Int age) in the instance; with departments,
// first "department" (String name) and then a Relation field "department" as employee's fourth
// field. S_OK or the first failure.
HRESULT defineTables(IVelmoraDatabase* database, bool withDepartments);
// Adds records as a caller builds them: choose the table, the setters by name, AddRecord -1.
// Non-zero (the failures' bits) when any call failed.
HRESULT addDepartments(IVelmoraDatabase* database, int count);
HRESULT addEmployees(IVelmoraDatabase* database, const std::vector<Employee>& rows,
                     bool withDepartments);
// A new instance with the tables defined and the first n employees added; exits on failure.
ComponentInstance filledInstance(int n, bool withDepartments);
// An instance of n employee records without departments, filled on the first call for n and
// kept until a call asks for another size (for benchmarks that only read).
IVelmoraDatabase* keptInstance(int n);
// The file Velmora saves for the first n employees; written once per (n, variant) and kept in
// the scratch directory. Exits on failure.
const std::string& savedFile(int n, bool withDepartments);

}  // namespace velmora
